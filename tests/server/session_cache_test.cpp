// The cache of validated sessions: what it keeps, for how long, how many, and
// what a session cut off in the database still gets meanwhile; on both
// engines and through the real server.
#include <gtest/gtest.h>
#include <spdlog/spdlog.h>

#include <chrono>
#include <memory>
#include <string>
#include <thread>

#include "host/net/grpc_canc_aprov_enc.h"
#include "host/services/session.h"
#include "server/order_server.h"
#include "server/service_error.h"
#include "server/session_cache.h"
#include "server/sessions.h"
#include "tests/support/server_fixture.h"
#include "tests/support/sign_on.h"
#include "tests/support/test_database.h"

namespace {

using namespace std::chrono_literals;
using ore::server::Caller;
using ore::server::ErrorKind;
using ore::server::ServiceError;
using ore::server::SessionCache;
using ore::server::ValidatedSession;
using TimePoint = std::chrono::system_clock::time_point;

const char* const sessionInvalid = "Sessão inválida. Entre novamente.";
const char* const sessionExpired = "Sessão expirada. Entre novamente.";

const TimePoint someMoment = TimePoint(std::chrono::hours(24 * 365 * 56));

ValidatedSession sessionOf(const std::string& operatorCode, TimePoint expiresAt) {
    ValidatedSession session;
    session.operatorCode = operatorCode;
    session.branches = {{"0001", true}};
    session.expiresAt = expiresAt;
    return session;
}

// ---- the cache alone ----

TEST(SessionCacheTest, AnEntryServesForItsLifetimeOnly) {
    SessionCache cache({5s, 100});
    cache.remember("a", sessionOf("ANA", someMoment + 1h), someMoment);
    ASSERT_TRUE(cache.find("a", someMoment).has_value());
    EXPECT_EQ(cache.find("a", someMoment + 4999ms)->operatorCode, "ANA");
    EXPECT_FALSE(cache.find("a", someMoment + 5s).has_value());
    // The stale entry is gone, not only hidden.
    EXPECT_EQ(cache.size(), 0u);
    EXPECT_FALSE(cache.find("a", someMoment + 1s).has_value());
}

TEST(SessionCacheTest, AnEntryNeverServesAtOrPastItsSessionsExpiry) {
    SessionCache cache({1min, 100});
    cache.remember("a", sessionOf("ANA", someMoment + 2s), someMoment);
    EXPECT_TRUE(cache.find("a", someMoment + 1999ms).has_value());
    EXPECT_FALSE(cache.find("a", someMoment + 2s).has_value());
}

TEST(SessionCacheTest, AClockSetBackMakesTheEntryAskAgain) {
    SessionCache cache({5s, 100});
    cache.remember("a", sessionOf("ANA", someMoment + 1h), someMoment);
    EXPECT_FALSE(cache.find("a", someMoment - 1s).has_value());
}

TEST(SessionCacheTest, ItKeepsAtMostItsBoundAndDropsTheOldestFirst) {
    SessionCache cache({1min, 3});
    for (int index = 0; index < 10; ++index) {
        cache.remember("s" + std::to_string(index), sessionOf("ANA", someMoment + 1h),
                       someMoment + std::chrono::milliseconds(index));
        EXPECT_LE(cache.size(), 3u);
    }
    EXPECT_EQ(cache.size(), 3u);
    const TimePoint later = someMoment + 10ms;
    EXPECT_FALSE(cache.find("s6", later).has_value());
    EXPECT_TRUE(cache.find("s7", later).has_value());
    EXPECT_TRUE(cache.find("s8", later).has_value());
    EXPECT_TRUE(cache.find("s9", later).has_value());
    // Validating a kept session again makes it the youngest.
    cache.remember("s7", sessionOf("ANA", someMoment + 1h), later);
    cache.remember("s10", sessionOf("ANA", someMoment + 1h), later);
    EXPECT_FALSE(cache.find("s8", later).has_value());
    EXPECT_TRUE(cache.find("s7", later).has_value());
}

TEST(SessionCacheTest, StaleEntriesGoBeforeFreshOnesWhenTheBoundIsReached) {
    SessionCache cache({5s, 3});
    cache.remember("old", sessionOf("ANA", someMoment + 1h), someMoment);
    cache.remember("b", sessionOf("ANA", someMoment + 1h), someMoment + 4s);
    cache.remember("c", sessionOf("ANA", someMoment + 1h), someMoment + 6s);
    EXPECT_EQ(cache.size(), 2u);  // "old" went stale at +5 s
    EXPECT_TRUE(cache.find("b", someMoment + 6s).has_value());
}

TEST(SessionCacheTest, ALifetimeOfZeroKeepsNothing) {
    SessionCache cache({0ms, 100});
    cache.remember("a", sessionOf("ANA", someMoment + 1h), someMoment);
    EXPECT_EQ(cache.size(), 0u);
    EXPECT_FALSE(cache.find("a", someMoment).has_value());
}

TEST(SessionCacheTest, AForgottenSessionIsAskedAgain) {
    SessionCache cache({5s, 100});
    cache.remember("a", sessionOf("ANA", someMoment + 1h), someMoment);
    cache.forget("a");
    EXPECT_FALSE(cache.find("a", someMoment).has_value());
    EXPECT_EQ(cache.size(), 0u);
}

// ---- authenticate over the session table, on each engine ----

class SessionCacheDatabaseTest : public testsupport::EngineTest {
protected:
    void SetUp() override {
        EngineTest::SetUp();
        if (IsSkipped()) {
            return;
        }
        database().execute("INSERT INTO FILIAL VALUES ('0001', 'MATRIZ'), ('0002', 'SUL')");
        testsupport::addTestOperator(database(), "CANCELA", "senha-cancela", "0001",
                                     {{"0001", true}});
        m_now = std::chrono::system_clock::now();
        ore::server::SessionPolicy policy;
        policy.lifetime = std::chrono::hours(1);
        m_token = ore::server::openSession(database(), "CANCELA", policy, m_now).token;
    }

    // The text of the refusal, or "" when the caller was let in.
    std::string refusal(TimePoint when, SessionCache& cache) {
        try {
            m_caller = ore::server::authenticate(database(), m_token, "peer", when, cache);
        } catch (const ServiceError& error) {
            return error.what();
        }
        return "";
    }

    std::string m_token;
    TimePoint m_now;
    Caller m_caller;
};

TEST_P(SessionCacheDatabaseTest, ADeletedSessionWorksUntilTheCachesLifetimeThenStops) {
    SessionCache cache({5s, 100});
    ASSERT_EQ(refusal(m_now, cache), "");
    database().execute("DELETE FROM SESSAOOPER");
    EXPECT_EQ(refusal(m_now + 4s, cache), "");
    EXPECT_EQ(m_caller.operatorCode, "CANCELA");
    EXPECT_EQ(m_caller.clientAddress, "peer");
    EXPECT_TRUE(m_caller.mayCancelOn("0001"));
    EXPECT_EQ(refusal(m_now + 5s, cache), sessionInvalid);
    // Once refused it stays refused.
    EXPECT_EQ(refusal(m_now + 5s, cache), sessionInvalid);
}

TEST_P(SessionCacheDatabaseTest, WithoutTheCacheTheDeletionIsSeenAtOnce) {
    SessionCache cache({0ms, 100});
    ASSERT_EQ(refusal(m_now, cache), "");
    database().execute("DELETE FROM SESSAOOPER");
    EXPECT_EQ(refusal(m_now + 1ms, cache), sessionInvalid);
}

TEST_P(SessionCacheDatabaseTest, AnOperatorMadeInactiveStopsAfterTheCachesLifetime) {
    SessionCache cache({5s, 100});
    ASSERT_EQ(refusal(m_now, cache), "");
    database().execute("UPDATE OPERADOR SET IDATIVO = 'N' WHERE CDOPERADOR = 'CANCELA'");
    EXPECT_EQ(refusal(m_now + 1s, cache), "");
    EXPECT_EQ(refusal(m_now + 5s, cache), sessionInvalid);
}

TEST_P(SessionCacheDatabaseTest, ChangedBranchRightsApplyAfterTheCachesLifetime) {
    SessionCache cache({5s, 100});
    ASSERT_EQ(refusal(m_now, cache), "");
    EXPECT_FALSE(m_caller.mayWorkOn("0002"));
    database().execute("INSERT INTO OPERFILIAL VALUES ('CANCELA', '0002', 'S')");
    database().execute("UPDATE OPERFILIAL SET IDCANCAPROV = 'N' WHERE CDFILIAL = '0001'");
    EXPECT_EQ(refusal(m_now + 1s, cache), "");
    EXPECT_FALSE(m_caller.mayWorkOn("0002"));
    EXPECT_TRUE(m_caller.mayCancelOn("0001"));
    EXPECT_EQ(refusal(m_now + 6s, cache), "");
    EXPECT_TRUE(m_caller.mayCancelOn("0002"));
    EXPECT_TRUE(m_caller.mayWorkOn("0001"));
    EXPECT_FALSE(m_caller.mayCancelOn("0001"));
}

TEST_P(SessionCacheDatabaseTest, ASessionExpiresOnTimeEvenWhenCached) {
    // A cache lifetime longer than what is left of the session.
    SessionCache cache({2h, 100});
    ASSERT_EQ(refusal(m_now, cache), "");
    EXPECT_EQ(refusal(m_now + 59min, cache), "");
    EXPECT_EQ(refusal(m_now + 1h + 1s, cache), sessionExpired);
}

TEST_P(SessionCacheDatabaseTest, ARefusedTokenIsNotRemembered) {
    SessionCache cache({5s, 100});
    database().execute("DELETE FROM SESSAOOPER");
    EXPECT_EQ(refusal(m_now, cache), sessionInvalid);
    EXPECT_EQ(cache.size(), 0u);
}

ORE_ON_BOTH_ENGINES(SessionCacheDatabaseTest);

// ---- through the real server ----

class SessionCacheServerTest : public testsupport::EngineTest {
protected:
    void SetUp() override {
        EngineTest::SetUp();
        if (IsSkipped()) {
            return;
        }
        spdlog::set_level(spdlog::level::off);
        database().execute("INSERT INTO FILIAL VALUES ('0001', 'MATRIZ')");
    }

    void TearDown() override {
        host::CurrentSession().sessionToken.clear();
        m_api.reset();
        m_server.reset();
        EngineTest::TearDown();
    }

    void start(std::chrono::milliseconds cacheLifetime) {
        ore::server::ServerOptions options;
        options.sessions.cache.lifetime = cacheLifetime;
        m_server = testsupport::startLoopbackServer(testDatabase().target(), options);
        testsupport::signOnAsTester(database(), m_server->port());
        m_api = host::net::makeGrpcCancAprovEnc("127.0.0.1", m_server->port());
    }

    std::string childrenError() {
        try {
            m_api->GetEncomendaFilha("0001", "0000000001");
        } catch (const host::Exception& error) {
            return error.what();
        }
        return "";
    }

    testsupport::RunningServer m_server;
    std::unique_ptr<host::IRdmCancAprovEnc> m_api;
};

TEST_P(SessionCacheServerTest, ASessionDeletedInTheDatabaseStopsAfterTheCachesLifetime) {
    const auto lifetime = 1500ms;
    start(lifetime);
    // The server's validation happens after this moment.
    const auto before = std::chrono::steady_clock::now();
    ASSERT_EQ(childrenError(), "");
    database().execute("DELETE FROM SESSAOOPER");
    // Well inside the lifetime the server still trusts what it validated
    // (a slow machine may take longer: then only the later check holds).
    const std::string soon = childrenError();
    if (std::chrono::steady_clock::now() - before < lifetime - 200ms) {
        EXPECT_EQ(soon, "");
    }
    std::this_thread::sleep_until(std::chrono::steady_clock::now() + lifetime + 100ms);
    EXPECT_EQ(childrenError(), sessionInvalid);
}

TEST_P(SessionCacheServerTest, WithTheCacheOffADeletedSessionStopsAtOnce) {
    start(0ms);
    ASSERT_EQ(childrenError(), "");
    database().execute("DELETE FROM SESSAOOPER");
    EXPECT_EQ(childrenError(), sessionInvalid);
}

ORE_ON_BOTH_ENGINES(SessionCacheServerTest);

}  // namespace
