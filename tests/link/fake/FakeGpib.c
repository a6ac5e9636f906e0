// SPDX-License-Identifier: MIT
// A stand-in NI-488.2 library, built once per way of exposing status (FAKE_THREAD, ...); it
// logs its calls and keeps a generator at board 0, PAD 7. Tests steer it through fake_*.
#include <stdarg.h>
#include <stdio.h>
#include <string.h>
#include <time.h>

#define ERR 0x8000
#define CMPL 0x100
#define EDVR 0
#define ENOL 2
#define EARG 4
#define ENEB 7
#define MAX_UD 64

static char log_[1 << 16];
static size_t logLen_;
static int listening_ = 1;
static int writeError_ = -1;
static int nextUd_ = 1;
static int extraStatus_;
static unsigned char online_[MAX_UD];
static int regResults_[16];
static int regCount_;
static int regNext_;
static char failCall_[16];  // the call that fails, its nth coming one, with this error
static int failNth_, failErr_;
static int failedOnl_;  // descriptors an ibonl failed on: still on line here
static int blockMs_;    // ibwrt blocks this long, then times out

#if defined(FAKE_GLOBALS)
int ibsta, iberr, ibcnt;
long ibcntl;
#define STA ibsta
#define ERRV iberr
#define CNT ibcnt
#define CNTL ibcntl
#else
static int sta_, err_, cnt_;
static long cntl_;
#define STA sta_
#define ERRV err_
#define CNT cnt_
#define CNTL cntl_
#endif

#if defined(FAKE_REGISTER)
static int *regSta_, *regErr_, *regCnt_;
static long* regCntl_;
#endif

__attribute__((format(printf, 1, 2))) static void logf_(const char* fmt, ...) {
    va_list ap;
    va_start(ap, fmt);
    int n = vsnprintf(log_ + logLen_, sizeof log_ - logLen_, fmt, ap);
    va_end(ap);
    if (n > 0 && logLen_ + (size_t)n < sizeof log_) logLen_ += (size_t)n;
}

static int finish(int result, int sta, int err, long count) {
    STA = sta | extraStatus_;
    ERRV = err;
    CNT = (int)count;
    CNTL = count;
#if defined(FAKE_REGISTER)
    if (regSta_) {
        *regSta_ = STA;
        *regErr_ = ERRV;
        *regCnt_ = CNT;
        *regCntl_ = CNTL;
    }
#endif
    return result;
}

static int known(int ud) { return ud > 0 && ud < MAX_UD && online_[ud]; }

void fake_reset(void) {
    logLen_ = 0;
    log_[0] = 0;
    listening_ = 1;
    writeError_ = -1;
    nextUd_ = 1;
    extraStatus_ = 0;
    memset(online_, 0, sizeof online_);
    regCount_ = regNext_ = 0;
    failCall_[0] = 0;
    failNth_ = failErr_ = failedOnl_ = blockMs_ = 0;
#if defined(FAKE_REGISTER)
    regSta_ = regErr_ = regCnt_ = 0;
    regCntl_ = 0;
#endif
    finish(0, 0, 0, 0);
}
const char* fake_log(void) { return log_; }
void fake_set_listening(int on) { listening_ = on; }
void fake_set_write_error(int err) { writeError_ = err; }
void fake_set_next_ud(int ud) { nextUd_ = ud; }
void fake_set_extra_status(int bits) { extraStatus_ = bits; }
void fake_set_register_results(const int* results, int n) {
    regCount_ = n < 16 ? n : 16;
    regNext_ = 0;
    memcpy(regResults_, results, sizeof(int) * (size_t)regCount_);
}
// The nth call named `call` from now on fails with ERR and `err` (and TIMO for EABO).
void fake_set_fail(const char* call, int nth, int err) {
    snprintf(failCall_, sizeof failCall_, "%s", call);
    failNth_ = nth;
    failErr_ = err;
}
void fake_set_block(int ms) { blockMs_ = ms; }
int fake_failed_onl(void) { return failedOnl_; }
static int failing(const char* call) {
    return strcmp(call, failCall_) == 0 && failNth_ > 0 && --failNth_ == 0;
}
static int failure(int result) {
    const int sta = ERR | CMPL | (failErr_ == 6 ? 0x4000 : 0);
    return finish(result == -1 ? -1 : sta, sta, failErr_, 0);
}
int fake_online(void) {
    int n = 0;
    for (int i = 0; i < MAX_UD; ++i) n += online_[i];
    return n;
}

int ibconfig(int unit, int option, int value) {
    logf_("ibconfig %d %d %d\n", unit, option, value);
    if (failing("ibconfig")) return failure(0);
    return finish(CMPL, CMPL, 0, 0);
}

int ibdev(int board, int pad, int sad, int tmo, int eot, int eos) {
    logf_("ibdev %d %d %d %d %d %d\n", board, pad, sad, tmo, eot, eos);
    if (failing("ibdev")) return failure(-1);
    if (board != 0) return finish(-1, ERR, ENEB, 0);
    if (pad < 0 || pad > 30) return finish(-1, ERR, EARG, 0);
    int ud = nextUd_;  // the lowest free one from there, as on the simulated bus
    while (ud > 0 && ud < MAX_UD && online_[ud]) ++ud;
    if (ud > 0 && ud < MAX_UD) online_[ud] = 1;
    return finish(ud, CMPL, 0, 0);
}

int ibclr(int ud) {
    logf_("ibclr %d\n", ud);
    if (!known(ud)) return finish(ERR, ERR, EDVR, 0);
    if (failing("ibclr")) return failure(0);
    if (!listening_) return finish(ERR | CMPL, ERR | CMPL, ENOL, 0);
    return finish(CMPL, CMPL, 0, 0);
}

int ibwrt(int ud, const void* buf, long cnt) {
    logf_("ibwrt %d %ld %.*s\n", ud, cnt, (int)(cnt < 200 ? cnt : 200), (const char*)buf);
    if (!known(ud)) return finish(ERR, ERR, EDVR, 0);
    if (!listening_) return finish(ERR | CMPL, ERR | CMPL, ENOL, 0);
    if (writeError_ >= 0) return finish(ERR | CMPL, ERR | CMPL, writeError_, 0);
    if (failing("ibwrt")) return failure(0);
    if (blockMs_ > 0) {  // a generator holding off the handshake, until the time-out
        const struct timespec t = {blockMs_ / 1000, (blockMs_ % 1000) * 1000000L};
        nanosleep(&t, 0);
        return finish(ERR | 0x4000 | CMPL, ERR | 0x4000 | CMPL, 6, 0);
    }
    return finish(CMPL, CMPL, 0, cnt);
}

#if !defined(FAKE_NO_IBLOC)
int ibloc(int ud) {
    logf_("ibloc %d\n", ud);
    if (!known(ud)) return finish(ERR, ERR, EDVR, 0);
    if (failing("ibloc")) return failure(0);
    return finish(CMPL, CMPL, 0, 0);
}
#endif

int ibonl(int ud, int v) {
    logf_("ibonl %d %d\n", ud, v);
    if (!known(ud)) return finish(ERR, ERR, EDVR, 0);
    if (failing("ibonl")) return ++failedOnl_, failure(0);
    if (v == 0) online_[ud] = 0;
    return finish(CMPL, CMPL, 0, 0);
}

#if defined(FAKE_THREAD) || defined(FAKE_NO_IBLOC)
int ThreadIbsta(void) { return STA; }
int ThreadIberr(void) { return ERRV; }
int ThreadIbcnt(void) { return CNT; }
long ThreadIbcntl(void) { return CNTL; }
#elif defined(FAKE_THREAD_NI)
// NI's header makes ThreadIbcntl a macro for this one, which returns the long count.
int ThreadIbsta(void) { return STA; }
int ThreadIberr(void) { return ERRV; }
unsigned long ThreadIbcnt(void) { return (unsigned long)CNTL; }
#elif defined(FAKE_FUNCS)
int Ibsta(void) { return STA; }
int Iberr(void) { return ERRV; }
int Ibcnt(void) { return CNT; }
long Ibcntl(void) { return CNTL; }
#elif defined(FAKE_REGISTER)
int RegisterGpibGlobalsForThread(int* sta, int* err, int* cnt, long* cntl) {
    int rc = regNext_ < regCount_ ? regResults_[regNext_++] : 0;
    logf_("RegisterGpibGlobalsForThread -> %d\n", rc);
    if (rc == 0) {
        regSta_ = sta;
        regErr_ = err;
        regCnt_ = cnt;
        regCntl_ = cntl;
    }
    return rc;
}
int UnregisterGpibGlobalsForThread(void) {
    logf_("UnregisterGpibGlobalsForThread\n");
    regSta_ = regErr_ = regCnt_ = 0;
    regCntl_ = 0;
    return 0;
}
#endif
