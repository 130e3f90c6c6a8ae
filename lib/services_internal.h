/*
 * services_internal.h - helpers shared by the runtime service sources; programs never
 * include it.
 */
#ifndef ORVIK_SERVICES_INTERNAL_H
#define ORVIK_SERVICES_INTERNAL_H

#include <initializer_list>
#include <string_view>
#include <sys/stat.h>
#include <utility>

/* Checks the named pointers in order; the first NULL one is logged at level 8 as
   "<function>: <name> NULL pointer: %p." and gives 8, else 0. */
int OVCheckPointers(const char *pszFunction,
                    std::initializer_list<std::pair<const char *, const void *>> asArgument);

/* Writes the whole text to fd, going on after interruptions; 0, or errno. */
int OVWriteAll(int fd, std::string_view sContent);

#endif /* ORVIK_SERVICES_INTERNAL_H */
