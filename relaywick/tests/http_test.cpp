// Downloads through SendHttpRequest and CHttp against loopback servers.
#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>

#include "http.h"
#include "loopback.h"
#include "relaywick.h"

using namespace rwtest;
using relaywick::CHttp;

namespace {

std::string Pattern(std::size_t n) {
    std::string s(n, '\0');
    for (std::size_t i = 0; i < n; ++i)
        s[i] = static_cast<char>('a' + i % 26);
    return s;
}

class Download : public ::testing::Test {
protected:
    void SetUp() override {
        http_.server().Get("/text", [](const httplib::Request&, httplib::Response& res) {
            res.set_content("hello from the server", "text/plain");
        });
        http_.server().Get("/empty", [](const httplib::Request&, httplib::Response& res) {
            res.set_content("", "text/plain");
        });
        http_.server().Get("/big", [](const httplib::Request&, httplib::Response& res) {
            res.set_content(Pattern(300000), "application/octet-stream");
        });
        http_.server().Get("/zeros", [](const httplib::Request&, httplib::Response& res) {
            // Three pieces of the 1024-byte buffer: "abc" then zeros, "def" then zeros,
            // then 452 bytes without a zero.
            std::string body(2500, '\0');
            body.replace(0, 3, "abc");
            body.replace(1024, 3, "def");
            body.replace(2048, 452, std::string(452, 'g'));
            res.set_content(body, "application/octet-stream");
        });
        http_.server().Get("/chunked", [](const httplib::Request&, httplib::Response& res) {
            res.set_chunked_content_provider("text/plain",
                                             [](size_t offset, httplib::DataSink& sink) {
                                                 if (offset < 5000) {
                                                     const std::string part = Pattern(1000);
                                                     sink.write(part.data(), part.size());
                                                 } else {
                                                     sink.done();
                                                 }
                                                 return true;
                                             });
        });
        http_.server().Get("/moved", [](const httplib::Request&, httplib::Response& res) {
            res.set_redirect("/text");
        });
        http_.server().Get("/drip", [](const httplib::Request& req, httplib::Response& res) {
            const std::string piece = Pattern(std::stoul(req.get_param_value("piece")));
            res.set_content_provider(40 * piece.size(), "text/plain", [piece](auto, auto, auto& s) {
                std::this_thread::sleep_for(std::chrono::milliseconds(50)); // 40 pieces, 2 s
                return s.write(piece.data(), piece.size());
            });
        });
        http_.Start();
    }

    HttpServer http_;
    TempDir dir_;
};

TEST_F(Download, FileGetsTheBodyAndTheResultIsItsStartWithoutTerminator) {
    const std::string target = dir_ / "big.bin";
    const SendResult r = Send(target, http_.Url("/big"), false, nullptr, nullptr, false, 'X');
    ASSERT_EQ(r.ok, 1) << r.buffer;
    EXPECT_EQ(ReadFile(target), Pattern(300000));
    EXPECT_EQ(r.buffer.substr(0, 255), Pattern(255));
    EXPECT_EQ(r.buffer[255], 'X') << "the 256th byte is not written";
}

TEST_F(Download, ShortTextIsTheResultAndEmptyBodyIsSuccess) {
    SendResult r = Send("", http_.Url("/text"), false, nullptr, nullptr, false, 'X');
    ASSERT_EQ(r.ok, 1);
    EXPECT_EQ(r.text(), "hello from the server");
    EXPECT_EQ(r.buffer.find_first_not_of('\0', 21), 255u) << "rest of 255 bytes zero-filled";

    const std::string target = dir_ / "empty.txt";
    WriteFile(dir_ / "notes.txt", "notes");
    std::filesystem::create_symlink(dir_ / "notes.txt", target); // replaced, not written through
    r = Send(target, http_.Url("/empty"), false);
    ASSERT_EQ(r.ok, 1);
    EXPECT_EQ(r.text(), "Success");
    EXPECT_EQ(ReadFile(dir_ / "notes.txt"), "notes");
    EXPECT_TRUE(std::filesystem::exists(target));
    EXPECT_EQ(std::filesystem::file_size(target), 0u);
}

TEST_F(Download, TextStopsAtTheFirstZeroOfEachPiece) {
    const std::string target = dir_ / "zeros.bin";
    const SendResult r = Send(target, http_.Url("/zeros"), false);
    ASSERT_EQ(r.ok, 1);
    EXPECT_EQ(std::filesystem::file_size(target), 2500u) << "the file keeps every byte";
    EXPECT_EQ(r.text(), "abcdef" + std::string(249, 'g'));

    CHttp http;
    http.SetCapture(true);
    ASSERT_TRUE(http.SetUrl(http_.Url("/zeros")));
    http.SetSecure(false);
    ASSERT_TRUE(http.OpenConnection());
    ASSERT_TRUE(http.Download());
    EXPECT_EQ(http.ResponseText(), "abcdef" + std::string(452, 'g'));
}

TEST_F(Download, WithoutContentLengthSucceedsAndNotesTheMissingSize) {
    const std::string target = dir_ / "chunked.txt";
    CHttp http;
    std::vector<relaywick::NotifyEvent> events;
    http.SetNotifySink([&](relaywick::NotifyEvent e, const relaywick::ProgressBlock&,
                           std::uintptr_t) { events.push_back(e); });
    http.SetLocalFile(target);
    ASSERT_TRUE(http.SetUrl(http_.Url("/chunked")));
    http.SetSecure(false);
    ASSERT_TRUE(http.OpenConnection());
    ASSERT_TRUE(http.Download());
    EXPECT_EQ(ReadFile(target).size(), 5000u);
    EXPECT_EQ(http.ErrorText(), "Error unable to retrieve FileSize for : " + target);
    EXPECT_NE(std::find(events.begin(), events.end(), relaywick::NotifyEvent::SizeUnknown),
              events.end());
    EXPECT_EQ(events.back(), relaywick::NotifyEvent::Done);
    EXPECT_FALSE(http.Busy());
}

TEST_F(Download, SlowerThanOneKibASecondFailsAfterTheStallWindowButNoTimeIsCapped) {
    CHttp http;
    http.SetStallWindow(1);
    for (const std::string piece : {"1", "4096"}) { // 20 B/s, then 80 KiB/s, for two seconds
        http.SetUrl(http_.Url("/drip?piece=" + piece));
        http.SetSecure(false);
        EXPECT_EQ(http.OpenConnection() && http.Download(), piece != "1") << piece;
    }
    EXPECT_EQ(http.ErrorText(), "Failed in call to InternetReadFile, Error:12002\n");
}

TEST_F(Download, RedirectIsFollowed) {
    const SendResult r = Send("", http_.Url("/moved"), false);
    EXPECT_EQ(r.ok, 1);
    EXPECT_EQ(r.text(), "hello from the server");
}

TEST_F(Download, NotFoundFailsNamingTheStatusAndLeavesNoFile) {
    const std::string target = dir_ / "missing.txt";
    const SendResult r = Send(target, http_.Url("/nothing-here"), false);
    EXPECT_EQ(r.ok, 0);
    EXPECT_EQ(r.text(), "The server answered with HTTP status 404\n");
    EXPECT_FALSE(std::filesystem::exists(target));
}

TEST_F(Download, UrlWithoutSchemeIsTakenAsHttp) {
    const std::string url = "127.0.0.1:" + std::to_string(http_.port()) + "/text";
    const SendResult r = Send("", url, false);
    EXPECT_EQ(r.ok, 1);
    EXPECT_EQ(r.text(), "hello from the server");
}

TEST_F(Download, FileThatCannotBeCreatedFails) {
    const SendResult r = Send(dir_ / "no/such/folder/file", http_.Url("/text"), false);
    EXPECT_EQ(r.ok, 0);
    EXPECT_EQ(r.text(), "Failed to open the file to download into, Error:2\n");
}

TEST(DownloadFailure, UnreachablePortFailsAtTheSend) {
    const SendResult r = Send("", "http://127.0.0.1:" + std::to_string(UnusedPort()) + "/x", false);
    EXPECT_EQ(r.ok, 0);
    EXPECT_EQ(r.text(), "Failed in call to HttpSendRequest, Error:12029\n");
}

TEST_F(Download, ConnectionClosedBeforeTheAnnouncedEndFailsAndKeepsTheOldFile) {
    CaptureServer server([](const CapturedRequest&, int) {
        return std::string("HTTP/1.1 200 OK\r\nContent-Length: 100\r\n\r\nonly ten..");
    });
    WriteFile(dir_ / "kept.txt", "old content");
    const SendResult r = Send(dir_ / "kept.txt", server.Url("/short"), false);
    EXPECT_EQ(r.ok, 0);
    EXPECT_EQ(r.text(), "Failed in call to InternetReadFile, Error:12030\n");
    EXPECT_EQ(ReadFile(dir_ / "kept.txt"), "old content");
}

TEST(DownloadFailure, NoTransferBufferNoTransfer) {
    HttpServer server;
    server.server().Get("/x", [](const httplib::Request&, httplib::Response& res) {
        res.set_content("data", "text/plain");
    });
    server.Start();
    CHttp http;
    EXPECT_FALSE(http.SetBufferSize(0));
    ASSERT_TRUE(http.SetUrl(server.Url("/x")));
    http.SetSecure(false);
    ASSERT_TRUE(http.OpenConnection());
    EXPECT_FALSE(http.Download());
    EXPECT_EQ(http.ErrorText(), "Fatal Error: Could not allocate memory.");
}

TEST(DownloadFailure, UnusableUrlsFailToConnect) {
    for (const char* url : {"://nowhere", "ftp://127.0.0.1/file", "mailto:someone"}) {
        const SendResult r = Send("", url, false);
        EXPECT_EQ(r.ok, 0) << url;
        EXPECT_EQ(r.text(), "Unable to open Internet connection") << url;
    }
    CHttp http;
    ASSERT_TRUE(http.SetUrl("http://earlier.invalid/"));
    EXPECT_FALSE(http.SetUrl("://nowhere"));
    EXPECT_EQ(http.ErrorText(), "Incorrect URL.");
    EXPECT_TRUE(http.Server().empty()) << "nothing of an earlier target survives";
}

TEST(DownloadFailure, TextsThatDoNotParseSendNothing) {
    CaptureServer server(
        [](const CapturedRequest&, int) { return CaptureServer::Answer(200, "a page"); });
    const std::string port = std::to_string(server.port());
    for (const std::string& url : std::vector<std::string>{
             "http://bad host/x", "http://127.0.0.1:99999/x", "http://127.0.0.1:0/x",
             "file:///etc/passwd", "mailto:x@127.0.0.1:" + port + "/text",
             "http://127.0.0.1:" + port + "x/y", "gopher://127.0.0.1:" + port + "/x"}) {
        CHttp http;
        EXPECT_FALSE(http.SetUrl(url)) << url << " went to " << http.Server();
        EXPECT_EQ(http.ErrorText(), "Incorrect URL.") << url;
        const SendResult r = Send("", url, false);
        EXPECT_EQ(r.ok, 0) << url;
        EXPECT_EQ(r.text(), "Unable to open Internet connection") << url;
    }
    EXPECT_TRUE(server.requests().empty());

    // A host with a port and no scheme is still taken as http.
    const SendResult r = Send("", "localhost:" + port + "/text", false);
    EXPECT_EQ(r.ok, 1) << r.text();
    EXPECT_EQ(server.requests().size(), 1u);
}

TEST(Port, ExplicitPortWinsAndHttpsIsAlwaysSecure) {
    CHttp http;
    ASSERT_TRUE(http.SetUrl("http://example.invalid/x"));
    http.SetSecure(true);
    EXPECT_EQ(http.Port(), 443);
    EXPECT_TRUE(http.Secure());
    http.SetSecure(false);
    EXPECT_EQ(http.Port(), 80);
    ASSERT_TRUE(http.SetUrl("http://example.invalid:8080/x?q=a b"));
    http.SetSecure(true);
    EXPECT_EQ(http.Port(), 8080);
    EXPECT_EQ(http.Object(), "/x?q=a%20b");
    ASSERT_TRUE(http.SetUrl("https://example.invalid/x"));
    http.SetSecure(false);
    EXPECT_EQ(http.Port(), 443);
    EXPECT_TRUE(http.Secure());
}

// Credentials.

class Auth : public ::testing::Test {
protected:
    void SetUp() override {
        // Answers 401 without the right Basic credentials (and counts the requests).
        server_.server().Get(
            "/secret", [this](const httplib::Request& req, httplib::Response& res) {
                ++requests_;
                if (req.get_header_value("Authorization") != "Basic " + Base64("user:pw")) {
                    res.status = 401;
                    res.set_header("WWW-Authenticate", "Basic realm=\"test\"");
                    res.set_content("go away", "text/plain");
                    return;
                }
                res.set_content("the secret", "text/plain");
            });
        // A forward proxy: the request target is the absolute URL.
        const std::string longUser(CHttp::kMaxCredential, 'u');
        proxy_.server().Get(".*",
                            [this, longUser](const httplib::Request& req, httplib::Response& res) {
                                ++requests_;
                                if (req.get_header_value("Proxy-Authorization") !=
                                    "Basic " + Base64(longUser + ":pw")) {
                                    res.status = 407;
                                    res.set_header("Proxy-Authenticate", "Basic realm=\"proxy\"");
                                    return;
                                }
                                res.set_content("via proxy " + req.path, "text/plain");
                            });
        server_.Start();
        proxy_.Start();
    }

    bool Fetch(CHttp& http, const std::string& user, const std::string& password) {
        http.SetServerUser(user);
        http.SetServerPassword(password);
        http.SetCapture(true);
        http.SetUrl(server_.Url("/secret"));
        http.SetSecure(false);
        return http.OpenConnection() && http.Download();
    }

    HttpServer server_, proxy_;
    std::atomic<int> requests_{0};
};

TEST_F(Auth, ServerCredentialsAnswerA401) {
    CHttp http;
    ASSERT_TRUE(Fetch(http, "user", "pw")) << http.ErrorText();
    EXPECT_EQ(http.ResponseText(), "the secret");
}

TEST_F(Auth, A401WithoutCredentialsFails) {
    const SendResult r = Send("", server_.Url("/secret"), false);
    EXPECT_EQ(r.ok, 0);
    EXPECT_EQ(r.text(), "HTTP status 401: the server asks for credentials and none were given\n");
    EXPECT_EQ(requests_, 1);
}

TEST_F(Auth, RefusedCredentialsAreResentOnlyAFewTimes) {
    CHttp http;
    EXPECT_FALSE(Fetch(http, "user", "wrong"));
    EXPECT_EQ(http.ErrorText(),
              "HTTP status 401: the server refused the credentials, gave up after 4 sends\n");
    EXPECT_LE(requests_, 1 + 2 * CHttp::kMaxResends);
}

TEST_F(Auth, ProxyCredentialsAnswerA407AndAreCutAt255) {
    ScopedEnv proxy("http_proxy", "http://127.0.0.1:" + std::to_string(proxy_.port()));
    const std::string user(300, 'u');
    const SendResult r = Send("", "http://relaywick.invalid/file", false, user.c_str(), "pw");
    EXPECT_EQ(r.ok, 1) << r.text();
    EXPECT_EQ(r.text(), "via proxy http://relaywick.invalid/file");
}

TEST_F(Auth, A407WithoutOrWithWrongCredentialsFails) {
    ScopedEnv proxy("http_proxy", "http://127.0.0.1:" + std::to_string(proxy_.port()));
    SendResult r = Send("", "http://relaywick.invalid/file", false);
    EXPECT_EQ(r.ok, 0);
    EXPECT_EQ(r.text(), "HTTP status 407: the proxy asks for credentials and none were given\n");
    r = Send("", "http://relaywick.invalid/file", false, "someone", "wrong");
    EXPECT_EQ(r.ok, 0);
    EXPECT_EQ(r.text(),
              "HTTP status 407: the proxy refused the credentials, gave up after 4 sends\n");
}

// Certificates.

class Tls : public ::testing::Test {
protected:
    void SetUp() override {
        server_ = HttpServer::Tls();
        server_->server().Get("/x", [](const httplib::Request&, httplib::Response& res) {
            res.set_content("over tls", "text/plain");
        });
        server_->Start();
        plain_.server().Get("/x", [](const httplib::Request&, httplib::Response& res) {
            res.set_content("in the clear", "text/plain");
        });
        const std::string hopUrl = HttpsUrl("/hop");
        plain_.server().Get("/up", [hopUrl](const httplib::Request&, httplib::Response& res) {
            res.set_redirect(hopUrl);
        });
        plain_.Start();
        const std::string plainUrl = plain_.Url("/x");
        server_->server().Get("/down", [plainUrl](const httplib::Request&, httplib::Response& res) {
            res.set_redirect(plainUrl);
        });
        server_->server().Get("/hop", [plainUrl](const httplib::Request&, httplib::Response& res) {
            res.set_redirect(plainUrl);
        });
    }
    std::string HttpsUrl(const std::string& path = "/x") const {
        return "https://127.0.0.1:" + std::to_string(server_->port()) + path;
    }
    std::unique_ptr<HttpServer> server_;
    HttpServer plain_;
};

TEST_F(Tls, SelfSignedCertificateIsRefusedWithoutRetry) {
    const SendResult r = Send("", HttpsUrl(), false);
    EXPECT_EQ(r.ok, 0);
    EXPECT_EQ(r.text(), "Failed in call to HttpSendRequest, Error:12045\n");
    // The secure flag with an http URL is no way around the check either.
    EXPECT_EQ(Send("", server_->Url("/x"), false, nullptr, nullptr, true).ok, 0);
}

TEST_F(Tls, OptInReachesATestServerOnTheUrlsPort) {
    ScopedEnv insecure("RELAYWICK_INSECURE_TLS", "1");
    SendResult r = Send("", HttpsUrl(), false);
    EXPECT_EQ(r.ok, 1) << r.text();
    EXPECT_EQ(r.text(), "over tls");
    // An http URL with the secure flag: TLS to the port written in the URL.
    r = Send("", server_->Url("/x"), false, nullptr, nullptr, true);
    EXPECT_EQ(r.ok, 1) << r.text();
    EXPECT_EQ(r.text(), "over tls");
    // A secure request is not redirected to plain HTTP.
    r = Send("", HttpsUrl("/down"), false);
    EXPECT_EQ(r.ok, 0);
    EXPECT_EQ(r.text(), "Failed in call to HttpSendRequest, Error:12006\n");
    // Nor is one that went from plain HTTP to TLS on the way.
    r = Send("", plain_.Url("/up"), false);
    EXPECT_EQ(r.ok, 0) << r.text();
    EXPECT_EQ(r.text(), "Failed in call to HttpSendRequest, Error:12006\n");
}

} // namespace
