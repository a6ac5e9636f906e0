// SPDX-License-Identifier: MIT
// A stand-in NI-488.2 library for the benchmarks: a generator that always answers, and a
// CLOCK_MONOTONIC stamp for every ibwrt, written as one line "NANOSECONDS TEXT" to the file
// descriptor named by BENCH_STAMP_FD (a pipe the benchmark reads). The stamp is taken on entry,
// before anything else the call does.
#include <stdio.h>
#include <stdlib.h>
#include <time.h>
#include <unistd.h>

#define CMPL 0x100

static int sta_, err_, cnt_;
static int stampFd_ = -2;  // -2: not looked up yet; -1: none

static int finish(int result, long count) {
    sta_ = CMPL;
    err_ = 0;
    cnt_ = (int)count;
    return result;
}

int ibconfig(int unit, int option, int value) {
    (void)unit, (void)option, (void)value;
    return finish(CMPL, 0);
}
int ibdev(int board, int pad, int sad, int tmo, int eot, int eos) {
    (void)board, (void)pad, (void)sad, (void)tmo, (void)eot, (void)eos;
    return finish(1, 0);
}
int ibclr(int ud) {
    (void)ud;
    return finish(CMPL, 0);
}
int ibloc(int ud) {
    (void)ud;
    return finish(CMPL, 0);
}
int ibonl(int ud, int v) {
    (void)ud, (void)v;
    return finish(CMPL, 0);
}

int ibwrt(int ud, const void* buf, long cnt) {
    struct timespec now;
    clock_gettime(CLOCK_MONOTONIC, &now);
    (void)ud;
    if (stampFd_ == -2) {
        const char* fd = getenv("BENCH_STAMP_FD");
        stampFd_ = fd != NULL ? atoi(fd) : -1;
    }
    if (stampFd_ >= 0) {
        char line[256];
        const int shown = cnt < 64 ? (int)cnt : 64;
        const long long ns = (long long)now.tv_sec * 1000000000LL + now.tv_nsec;
        const int n = snprintf(line, sizeof line, "%lld %.*s\n", ns, shown, (const char*)buf);
        if (n > 0) (void)!write(stampFd_, line, (size_t)n);  // one write a line: never torn
    }
    return finish(CMPL, cnt);
}

int ThreadIbsta(void) { return sta_; }
int ThreadIberr(void) { return err_; }
int ThreadIbcnt(void) { return cnt_; }
long ThreadIbcntl(void) { return cnt_; }
