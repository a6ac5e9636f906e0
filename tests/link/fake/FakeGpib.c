// SPDX-License-Identifier: MIT
// A stand-in NI-488.2 library, built once per way of exposing status (FAKE_THREAD, ...); it
// logs its calls and keeps a generator at board 0, PAD 7. Tests steer it through fake_*.
#include <stdarg.h>
#include <stdio.h>
#include <string.h>
#include <time.h>

enum { ERR = 0x8000, TIMO = 0x4000, CMPL = 0x100, MAX_UD = 64 };

static struct {
    char log[1 << 16];
    size_t logLen;
    int quiet, regResults[16], regCount, regNext;
    unsigned char online[MAX_UD];
    char failCall[16];  // the call that fails, its nth coming one, with this error
    int failNth, failErr;
    int failedOnl;  // descriptors an ibonl failed on: still on line here
    int blockMs;    // ibwrt blocks this long, then times out
    int *regSta, *regErr, *regCnt;
    long* regCntl;
} s;

#if defined(FAKE_GLOBALS)
int ibsta, iberr, ibcnt;
long ibcntl;
#else
static int ibsta, iberr, ibcnt;
static long ibcntl;
#endif

__attribute__((format(printf, 1, 2))) static void logf_(const char* fmt, ...) {
    va_list ap;
    va_start(ap, fmt);
    int n = vsnprintf(s.log + s.logLen, sizeof s.log - s.logLen, fmt, ap);
    va_end(ap);
    if (n > 0 && s.logLen + (size_t)n < sizeof s.log) s.logLen += (size_t)n;
}

static int finish(int result, int sta, int err, long count) {
    ibsta = sta;
    iberr = err;
    ibcnt = count > 0xFFFF ? 0xFFFF : (int)count;  // as a 16-bit count: tells ibcnt from ibcntl
    ibcntl = count;
    if (s.regSta) *s.regSta = ibsta, *s.regErr = iberr, *s.regCnt = ibcnt, *s.regCntl = ibcntl;
    return result;
}

#define FAIL(err) finish(ERR | CMPL, ERR | CMPL, err, 0)

static int known(int ud) { return ud > 0 && ud < MAX_UD && s.online[ud]; }
static int failing(const char* call) {
    return strcmp(call, s.failCall) == 0 && s.failNth > 0 && --s.failNth == 0;
}
static int failure(int result) {  // TIMO goes with EABO
    const int sta = ERR | CMPL | (s.failErr == 6 ? TIMO : 0);
    return finish(result == -1 ? -1 : sta, sta, s.failErr, 0);
}

void fake_reset(void) {
    memset(&s, 0, sizeof s);
    finish(0, 0, 0, 0);
}
const char* fake_log(void) { return s.log; }
void fake_set_listening(int on) { s.quiet = !on; }
void fake_set_register_results(const int* results, int n) {
    s.regCount = n < 16 ? n : 16;
    s.regNext = 0;
    memcpy(s.regResults, results, sizeof(int) * (size_t)s.regCount);
}
// The nth call named `call` from now on fails with ERR and `err` (and TIMO for EABO).
void fake_set_fail(const char* call, int nth, int err) {
    snprintf(s.failCall, sizeof s.failCall, "%s", call);
    s.failNth = nth;
    s.failErr = err;
}
void fake_set_block(int ms) { s.blockMs = ms; }
int fake_failed_onl(void) { return s.failedOnl; }
int fake_online(void) {
    int n = 0;
    for (int i = 0; i < MAX_UD; ++i) n += s.online[i];
    return n;
}

int ibconfig(int unit, int option, int value) {
    logf_("ibconfig %d %d %d\n", unit, option, value);
    return failing("ibconfig") ? failure(0) : finish(CMPL, CMPL, 0, 0);
}

int ibdev(int board, int pad, int sad, int tmo, int eot, int eos) {
    logf_("ibdev %d %d %d %d %d %d\n", board, pad, sad, tmo, eot, eos);
    if (failing("ibdev")) return failure(-1);
    if (board != 0) return finish(-1, ERR, 7, 0);  // ENEB
    int ud = 1;                                    // the lowest free one, as on the simulated bus
    while (ud < MAX_UD && s.online[ud]) ++ud;
    if (ud < MAX_UD) s.online[ud] = 1;
    return finish(ud, CMPL, 0, 0);
}

int ibclr(int ud) {
    logf_("ibclr %d\n", ud);
    if (!known(ud)) return finish(ERR, ERR, 0, 0);  // EDVR
    if (failing("ibclr")) return failure(0);
    return s.quiet ? FAIL(2) : finish(CMPL, CMPL, 0, 0);  // ENOL
}

int ibwrt(int ud, const void* buf, long cnt) {
    logf_("ibwrt %d %ld %.*s\n", ud, cnt, (int)(cnt < 200 ? cnt : 200), (const char*)buf);
    if (!known(ud)) return finish(ERR, ERR, 0, 0);
    if (s.quiet) return FAIL(2);  // ENOL
    if (failing("ibwrt")) return failure(0);
    if (s.blockMs > 0) {  // a generator holding off the handshake, until the time-out
        const struct timespec t = {s.blockMs / 1000, (s.blockMs % 1000) * 1000000L};
        nanosleep(&t, 0);
        return finish(ERR | TIMO | CMPL, ERR | TIMO | CMPL, 6, 0);
    }
    return finish(CMPL, CMPL, 0, cnt);
}

#if !defined(FAKE_NO_IBLOC)
int ibloc(int ud) {
    logf_("ibloc %d\n", ud);
    if (!known(ud)) return finish(ERR, ERR, 0, 0);
    return failing("ibloc") ? failure(0) : finish(CMPL, CMPL, 0, 0);
}
#endif

int ibonl(int ud, int v) {
    logf_("ibonl %d %d\n", ud, v);
    if (!known(ud)) return finish(ERR, ERR, 0, 0);
    if (failing("ibonl")) return ++s.failedOnl, failure(0);
    if (v == 0) s.online[ud] = 0;
    return finish(CMPL, CMPL, 0, 0);
}

#if defined(FAKE_THREAD) || defined(FAKE_NO_IBLOC) || defined(FAKE_THREAD_NI)
int ThreadIbsta(void) { return ibsta; }
int ThreadIberr(void) { return iberr; }
#endif
#if defined(FAKE_THREAD) || defined(FAKE_NO_IBLOC)
int ThreadIbcnt(void) { return ibcnt; }
long ThreadIbcntl(void) { return ibcntl; }
#elif defined(FAKE_THREAD_NI)
// NI's header makes ThreadIbcntl a macro for this one, which returns the long count.
unsigned long ThreadIbcnt(void) { return (unsigned long)ibcntl; }
#elif defined(FAKE_FUNCS)
int Ibsta(void) { return ibsta; }
int Iberr(void) { return iberr; }
int Ibcnt(void) { return ibcnt; }
long Ibcntl(void) { return ibcntl; }
#elif defined(FAKE_REGISTER)
int RegisterGpibGlobalsForThread(int* sta, int* err, int* cnt, long* cntl) {
    int rc = s.regNext < s.regCount ? s.regResults[s.regNext++] : 0;
    logf_("RegisterGpibGlobalsForThread -> %d\n", rc);
    if (rc == 0) s.regSta = sta, s.regErr = err, s.regCnt = cnt, s.regCntl = cntl;
    return rc;
}
int UnregisterGpibGlobalsForThread(void) {
    logf_("UnregisterGpibGlobalsForThread\n");
    s.regSta = s.regErr = s.regCnt = 0;
    s.regCntl = 0;
    return 0;
}
#endif
