// The WinINet client against the test update server on 127.0.0.1:443 and the
// CONNECT proxy (both started by sim/update-server/run-with-servers), and the
// CryptoAPI digest against the portable one.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>

#include "common/http_client.h"
#include "common/sha1.h"
#include "common/sha1_hex.h"
#include "common/tests/update_wine_support.h"
#include "platform/notifier.h"

namespace {

using namespace update_wine;

constexpr wchar_t kHost[] = L"127.0.0.1";

class HttpClient : public ::testing::Test {
protected:
    void SetUp() override {
        if (!ServerAvailable())
            GTEST_SKIP() << "the test update server is not running";
        ClearLogs();
    }
    ProxySettings Proxy(uint16_t port) {
        ProxySettings p;
        p.useProxy = 1;
        const std::u16string server = u"127.0.0.1";
        std::copy(server.begin(), server.end(), p.server);
        p.port = port;
        const std::u16string login = u"ivanov";
        std::copy(login.begin(), login.end(), p.login);
        const std::u16string password = u"secret";
        std::copy(password.begin(), password.end(), p.password);
        return p;
    }
    uint16_t ProxyPort() {
        return static_cast<uint16_t>(std::atoi(Env("SURVEY_PROXY_PORT").c_str()));
    }

    platform::RecordingNotifier notifier;
    platform::ScopedNotifier scoped{notifier};
    uint32_t length = 99;
    std::unique_ptr<char[]> reply;
};

TEST_F(HttpClient, OkReplyCountsItsTerminator) {
    std::wstring type;
    uint32_t charset = 7;
    ASSERT_TRUE(HttpRequest(L"/ok", kHost, length, reply, &type, &charset, L"a=1", nullptr, false));
    EXPECT_EQ(length, 3u);
    ASSERT_TRUE(reply);
    EXPECT_EQ(std::string(reply.get(), 3), std::string("ok\0", 3));
    EXPECT_EQ(type, L"text/plain; charset=utf-8");
    EXPECT_EQ(charset, 65001u);
    EXPECT_TRUE(notifier.Messages().empty());
}

TEST_F(HttpClient, EmptyReplyIsSuccessWithoutBuffer) {
    reply.reset(new char[4]);
    ASSERT_TRUE(
        HttpRequest(L"/empty", kHost, length, reply, nullptr, nullptr, nullptr, nullptr, false));
    EXPECT_EQ(length, 0u);
    EXPECT_FALSE(reply);
}

TEST_F(HttpClient, StatusOtherThan200FailsWithoutMessage) {
    EXPECT_FALSE(
        HttpRequest(L"/missing", kHost, length, reply, nullptr, nullptr, L"x=1", nullptr, false));
    EXPECT_EQ(length, 0u);
    EXPECT_FALSE(reply);
    EXPECT_TRUE(notifier.Messages().empty());
}

TEST_F(HttpClient, PostCarriesFormHeadersAndUtf8Body) {
    ASSERT_TRUE(HttpRequest(L"getupdate.php", kHost, length, reply, nullptr, nullptr,
                            L"data=abc&cmd=getverlist&appid=106&ver=1&platform=3", nullptr, false));
    EXPECT_EQ(std::string(reply.get()), "{\"cnt\":0}");
    const auto requests = Requests();
    ASSERT_EQ(requests.size(), 1u);
    const std::string& r = requests[0];
    EXPECT_NE(r.find("\"method\": \"POST\""), std::string::npos) << r;
    EXPECT_NE(r.find("\"Content-Type\": \"application/x-www-form-urlencoded\""), std::string::npos)
        << r;
    EXPECT_NE(r.find("\"Accept-Encoding\": \"identity\""), std::string::npos) << r;
    EXPECT_NE(r.find("\"User-Agent\": \"MarvestoClient\""), std::string::npos) << r;
    // The host name goes into the Host header whole, not just its first letter.
    EXPECT_NE(r.find("\"Host\": \"127.0.0.1\""), std::string::npos) << r;
    EXPECT_NE(r.find("\"body\": \"data=abc&cmd=getverlist&appid=106&ver=1&platform=3\""),
              std::string::npos)
        << r;
}

TEST_F(HttpClient, EmptyBodyIsAGetEvenToTheScript) {
    EXPECT_TRUE(
        HttpRequest(L"getupdate.php", kHost, length, reply, nullptr, nullptr, L"", nullptr, true));
    const auto requests = Requests();
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_NE(requests[0].find("\"method\": \"GET\""), std::string::npos) << requests[0];
}

TEST_F(HttpClient, ReplyLongerThanOneChunkArrivesWhole) {
    ASSERT_TRUE(
        HttpRequest(L"/big", kHost, length, reply, nullptr, nullptr, nullptr, nullptr, false));
    ASSERT_EQ(length, 5001u);
    for (int i = 0; i < 5000; ++i)
        ASSERT_EQ(static_cast<uint8_t>(reply[i]), (i * 7) % 251 + 1) << i;
    EXPECT_EQ(reply[5000], '\0');
}

TEST_F(HttpClient, RefusedConnectionIsReportedUnlessSilent) {
    // Nothing listens on this loopback address.
    EXPECT_FALSE(
        HttpRequest(L"/ok", L"127.0.0.3", length, reply, nullptr, nullptr, L"a=1", nullptr, true));
    EXPECT_TRUE(notifier.Messages().empty());
    EXPECT_FALSE(
        HttpRequest(L"/ok", L"127.0.0.3", length, reply, nullptr, nullptr, L"a=1", nullptr, false));
    EXPECT_FALSE(reply);
    const auto m = notifier.Messages();
    ASSERT_EQ(m.size(), 1u);
    EXPECT_EQ(m[0].text.rfind("Ошибка соединения с сервером 127.0.0.3 (Error: ", 0), 0u)
        << m[0].text;
    EXPECT_NE(m[0].text.find("(Error: 120"), std::string::npos) << m[0].text;
    EXPECT_EQ(m[0].icon, platform::MessageIcon::Warning);
}

// WinINet keeps connections per server whatever the proxy: the proxy cases
// use host names that no direct case has connected to.
TEST_F(HttpClient, ConfiguredProxyTunnelsTheRequest) {
    const ProxySettings proxy = Proxy(ProxyPort());
    ASSERT_TRUE(
        HttpRequest(L"/ok", L"localhost", length, reply, nullptr, nullptr, L"a=1", &proxy, false));
    EXPECT_EQ(length, 3u);
    const auto tunnels = ProxyRequests();
    ASSERT_GE(tunnels.size(), 1u);
    EXPECT_NE(tunnels[0].find("\"method\": \"CONNECT\", \"target\": \"localhost:443\""),
              std::string::npos)
        << tunnels[0];
}

TEST_F(HttpClient, ProxyModesOtherThanOneOrMinusOneGoDirect) {
    ProxySettings proxy = Proxy(ProxyPort());
    proxy.useProxy = 2;
    ASSERT_TRUE(HttpRequest(L"/ok", kHost, length, reply, nullptr, nullptr, L"a=1", &proxy, false));
    EXPECT_TRUE(ProxyRequests().empty());
    // The user's system proxy: none configured in the test prefix, so direct.
    proxy.useProxy = -1;
    ASSERT_TRUE(HttpRequest(L"/ok", kHost, length, reply, nullptr, nullptr, L"a=1", &proxy, false));
    EXPECT_TRUE(ProxyRequests().empty());
}

TEST_F(HttpClient, UnreachableProxyIsAConnectionError) {
    const ProxySettings proxy = Proxy(1);  // nothing listens on port 1
    EXPECT_FALSE(
        HttpRequest(L"/ok", L"127.0.0.2", length, reply, nullptr, nullptr, L"a=1", &proxy, false));
    ASSERT_EQ(notifier.Messages().size(), 1u);
    EXPECT_EQ(notifier.Messages()[0].text.rfind("Ошибка соединения с сервером 127.0.0.2", 0), 0u);
}

TEST_F(HttpClient, GetConvertsUtf8ToTheAnsiCodePage) {
    ASSERT_TRUE(HttpGet(L"/cyr", kHost, length, reply, nullptr));
    const std::string expected = "\xc4\xee\xf0\xee\xe3\xe0 \xcc-4";  // "Дорога М-4" in 1251
    EXPECT_EQ(std::string(reply.get()), expected);
    EXPECT_EQ(length, expected.size() + 1);
    // Another character set: the bytes as they are.
    ASSERT_TRUE(HttpGet(L"/latin1", kHost, length, reply, nullptr));
    EXPECT_EQ(std::string(reply.get()), "\xc4\xee\xf0\xee\xe3\xe0");
    // An empty reply is a failure of the GET.
    EXPECT_FALSE(HttpGet(L"/empty", kHost, length, reply, nullptr));
    EXPECT_EQ(length, 0u);
}

TEST_F(HttpClient, GetIsNeverSilent) {
    EXPECT_FALSE(HttpGet(L"/ok", L"127.0.0.3", length, reply, nullptr));
    EXPECT_EQ(notifier.Messages().size(), 1u);
}

// The deployment's pinned certificate (HKLM\Software\Marvesto\Common,
// UpdateCertSha256) against the update server and an impostor on
// 127.0.0.5:443 whose certificate is another one. The fingerprints are
// openssl's (run-with-servers), in its AB:CD:... form.
class PinnedCertificate : public HttpClient {
protected:
    void TearDown() override { SetPin(nullptr); }
    static void SetPin(const wchar_t* value) {
        HKEY key = nullptr;
        ASSERT_EQ(::RegCreateKeyExW(HKEY_LOCAL_MACHINE, L"Software\\Marvesto\\Common", 0, nullptr,
                                    0, KEY_SET_VALUE | KEY_WOW64_64KEY, nullptr, &key, nullptr),
                  ERROR_SUCCESS);
        if (value)
            ::RegSetValueExW(key, L"UpdateCertSha256", 0, REG_SZ,
                             reinterpret_cast<const BYTE*>(value),
                             static_cast<DWORD>((wcslen(value) + 1) * sizeof(wchar_t)));
        else
            ::RegDeleteValueW(key, L"UpdateCertSha256");
        ::RegCloseKey(key);
    }
    static std::wstring Fingerprint(const char* file) {
        std::string text = ReadFile(WorkFile(file));
        while (!text.empty() && (text.back() == '\n' || text.back() == '\r'))
            text.pop_back();
        return std::wstring(text.begin(), text.end());
    }
    bool Post(const wchar_t* host, bool silent = false) {
        return HttpRequest(L"getupdate.php", host, length, reply, nullptr, nullptr,
                           L"cmd=getverlist&appid=106", nullptr, silent);
    }
    void ExpectRefused(const wchar_t* host, const std::string& hostText) {
        notifier.Clear();
        ClearLogs();
        WriteFile(WorkFile("impostor.log"), "");
        EXPECT_FALSE(Post(host, true));
        EXPECT_TRUE(notifier.Messages().empty());
        EXPECT_FALSE(Post(host));
        EXPECT_EQ(length, 0u);
        EXPECT_FALSE(reply);
        const auto m = notifier.Messages();
        ASSERT_EQ(m.size(), 1u);
        EXPECT_EQ(m[0].text, "Ошибка соединения с сервером " + hostText + " (Error: 12169)");
        notifier.Clear();
        // The refused server got the request line and headers, never the form.
        for (const char* log : {"requests.log", "impostor.log"})
            EXPECT_EQ(ReadFile(WorkFile(log)).find("appid=106"), std::string::npos) << log;
    }
    void SetUp() override {
        HttpClient::SetUp();
        WriteFile(WorkFile("impostor.log"), "");
    }
};

TEST_F(PinnedCertificate, OnlyTheServerWithThePinnedCertificateIsHeard) {
    const std::wstring own = Fingerprint("cert.sha256");
    const std::wstring other = Fingerprint("other-cert.sha256");
    ASSERT_EQ(own.size(), 95u) << "openssl's fingerprint of the server's certificate";
    ASSERT_NE(own, other);

    // Unset: any certificate, as before.
    ASSERT_TRUE(Post(L"127.0.0.5"));
    EXPECT_EQ(std::string(reply.get()), "{\"cnt\":0}");

    // Wine's WinINet keeps the connection of a refused request for the next
    // request to that host, with the refused request's form still owed: a
    // host is not asked again once it has been refused. "localhost" is
    // 127.0.0.1 under another name.
    SetPin(other.c_str());
    ASSERT_TRUE(Post(L"127.0.0.5"));
    EXPECT_EQ(std::string(reply.get()), "{\"cnt\":0}");
    ExpectRefused(L"localhost", "localhost");

    SetPin(own.c_str());
    ClearLogs();
    ASSERT_TRUE(Post(kHost));
    EXPECT_EQ(std::string(reply.get()), "{\"cnt\":0}");
    EXPECT_TRUE(notifier.Messages().empty());
    // The form arrived whole (a refused request that the server gives up on
    // may be logged beside it, without the form).
    const auto requests = Requests();
    EXPECT_EQ(std::count_if(requests.begin(), requests.end(),
                            [](const std::string& r) {
                                return r.find("\"body\": \"cmd=getverlist&appid=106\"") !=
                                       std::string::npos;
                            }),
              1);
    // A GET to the pinned server as well.
    ASSERT_TRUE(HttpGet(L"/cyr", kHost, length, reply, nullptr));
    ExpectRefused(L"127.0.0.5", "127.0.0.5");

    // A value that is no fingerprint pins nothing that could match.
    SetPin(L"not a fingerprint");
    ExpectRefused(kHost, "127.0.0.1");
    SetPin(own.substr(0, 92).c_str());
    ExpectRefused(kHost, "127.0.0.1");
}

TEST(Sha1HexCryptoApi, EqualsThePortableDigest) {
    platform::RecordingNotifier notifier;
    platform::ScopedNotifier scoped(notifier);
    for (const std::string& text :
         {std::string(), std::string("abc"), std::string("https://example.invalid/kalvetra-57.zip"),
          std::string("\xc4\xee\xf0\xee\xe3\xe0"), std::string(1 << 20, 'a'),
          std::string("with\0zero", 9)}) {
        char out[kSha1HexBufferBytes];
        std::memset(out, 'x', sizeof(out));
        ASSERT_TRUE(Sha1Hex(text, out));
        EXPECT_EQ(std::string(out), Sha1HexText(text));
        EXPECT_EQ(std::strlen(out), 40u);
    }
    EXPECT_TRUE(notifier.Messages().empty());
}

}  // namespace
