// Timers of the endpoint on a fake clock, and the time arithmetic under them.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "RfFakeClock.h"
#include "RfUserPthread.h"

namespace {

class RfTimeoutTest : public ::testing::Test {
  protected:
    struct Fire {
        RfTimeoutTest* testp;
        std::string name;
        RfTimeout* tp = nullptr;
        RfTimeout** cancelOtherpp = nullptr;  // cancelled from inside this callback
        bool cancelSelf = false;
    };

    void SetUp() override {
        ASSERT_EQ(RfUser_createUDPEndPoint(0, &_endp), 0);
        RfUser_setClock(_endp, RfFakeClock::now, &_clock);
    }
    void TearDown() override { RfUser_destroyUDPEndPoint(_endp); }

    static void fired(void* contextp, RfTimeout* tp) {
        Fire* fp = static_cast<Fire*>(contextp);
        EXPECT_EQ(tp, fp->tp);
        EXPECT_TRUE(tp->running);
        fp->testp->_fired.push_back(fp->name);
        if (fp->cancelSelf) {
            RfTimeout_cancel(tp);
            EXPECT_TRUE(tp->deleted);  // only marked: the loop frees it afterwards
        }
        if (fp->cancelOtherpp != nullptr) {
            RfTimeout_cancel(*fp->cancelOtherpp);
        }
    }

    void schedule(Fire* fp, int32_t ms) {
        ASSERT_EQ(RfTimeout_schedule(_endp, fired, fp, ms, &fp->tp), 0);
    }

    int32_t run() {
        pthread_mutex_lock(&rfGlobalMutex);
        int32_t waitMs = RfUser_runTimers(_endp);
        pthread_mutex_unlock(&rfGlobalMutex);
        return waitMs;
    }

    RfFakeClock _clock;
    RfUserEndPoint* _endp = nullptr;
    std::vector<std::string> _fired;
};

TEST_F(RfTimeoutTest, FireInExpiryThenSchedulingOrder) {
    Fire late{this, "late"}, a{this, "a"}, b{this, "b"}, now{this, "now"}, c{this, "c"};
    schedule(&late, 30);
    schedule(&a, 10);
    schedule(&b, 10);
    schedule(&now, 0);
    schedule(&c, 10);
    EXPECT_EQ(run(), 10);  // the 0 ms timer fires at the next pass; 10 ms remain to the next
    EXPECT_EQ(_fired, (std::vector<std::string>{"now"}));
    _clock.advanceMs(9);
    EXPECT_EQ(run(), 1);
    EXPECT_EQ(_fired.size(), 1u);
    _clock.advanceMs(1);
    EXPECT_EQ(run(), 20);
    EXPECT_EQ(_fired, (std::vector<std::string>{"now", "a", "b", "c"}));
    _clock.advanceMs(25);
    EXPECT_EQ(run(), 10000);  // nothing left
    EXPECT_EQ(_fired.back(), "late");
    EXPECT_EQ(_endp->timeoutsp, nullptr);
}

TEST_F(RfTimeoutTest, CancelBeforeAndInsideCallbacks) {
    Fire gone{this, "gone"}, self{this, "self"}, victim{this, "victim"}, killer{this, "killer"};
    schedule(&gone, 5);
    RfTimeout_cancel(gone.tp);
    self.cancelSelf = true;
    schedule(&self, 5);
    schedule(&victim, 20);
    killer.cancelOtherpp = &victim.tp;
    schedule(&killer, 10);
    _clock.advanceMs(10);
    EXPECT_EQ(run(), 10000);
    EXPECT_EQ(_fired, (std::vector<std::string>{"self", "killer"}));
    _clock.advanceMs(100);
    run();
    EXPECT_EQ(_fired.size(), 2u);
    EXPECT_EQ(_endp->timeoutsp, nullptr);
}

TEST(RfTimevalTest, Arithmetic) {
    struct timeval a = {5, 999500}, b = {1, 600}, r;
    RfTimeout_tv_add(&r, &a, &b);
    EXPECT_EQ(r.tv_sec, 7);
    EXPECT_EQ(r.tv_usec, 100);
    RfTimeout_tv_sub(&r, &b, &a);  // 1.000600 - 5.999500
    EXPECT_EQ(r.tv_sec, -5);
    EXPECT_EQ(r.tv_usec, 1100);
    struct timeval c = {12, 345678};
    EXPECT_EQ(RfTimeout_tv_ms(&c), 12345u);
    struct timeval big = {5000000, 0};  // wraps in 32 bits
    EXPECT_EQ(RfTimeout_tv_ms(&big), static_cast<uint32_t>(5000000000ull & 0xFFFFFFFFu));
    struct timeval d = {12, 345679}, e = {11, 999999};
    EXPECT_EQ(RfTimeout_tv_cmp(&c, &c), 0);
    EXPECT_EQ(RfTimeout_tv_cmp(&c, &d), -1);
    EXPECT_EQ(RfTimeout_tv_cmp(&d, &c), 1);
    EXPECT_EQ(RfTimeout_tv_cmp(&e, &c), -1);
}

}  // namespace
