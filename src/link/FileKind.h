// SPDX-License-Identifier: MIT
#pragma once

#include <sys/stat.h>

namespace zelmor::link::detail {

// What a file is, for a message that refuses it: "a FIFO", "a directory", ...
inline const char* fileKind(mode_t mode) {
    if (S_ISREG(mode)) return "a regular file";
    if (S_ISDIR(mode)) return "a directory";
    if (S_ISFIFO(mode)) return "a FIFO";
    if (S_ISCHR(mode)) return "a character device";
    if (S_ISBLK(mode)) return "a block device";
    if (S_ISSOCK(mode)) return "a socket";
    return "a special file";
}

}  // namespace zelmor::link::detail
