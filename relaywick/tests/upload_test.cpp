// Multipart uploads through SendHttpRequest, checked byte for byte on a bare server.
#include <gtest/gtest.h>

#include <atomic>
#include <random>
#include <regex>
#include <set>
#include <sys/stat.h>

#include "http.h"
#include "loopback.h"
#include "relaywick.h"

using namespace rwtest;

namespace {

std::string Boundary(const CapturedRequest& r) {
    const std::string type = r.header("Content-Type");
    const std::string prefix = "multipart/form-data, boundary=";
    EXPECT_EQ(type.substr(0, prefix.size()), prefix);
    return type.substr(prefix.size());
}

std::string FilePart(const std::string& b, const std::string& path) {
    return "--" + b + "\r\nContent-Disposition: form-data; name=\"FILE\"; filename=\"" + path +
           "\"\r\nContent-Type: text/html\r\n\r\n";
}

std::string FieldPart(const std::string& b, const std::string& name, const std::string& value) {
    return "\r\n--" + b + "\r\nContent-Disposition: form-data; name=\"" + name + "\"\r\n\r\n" +
           value;
}

std::string Closing(const std::string& b) {
    return "\r\n--" + b + "--\r\n";
}

class Upload : public ::testing::Test {
protected:
    void SetUp() override { Init(); }
    void TearDown() override { Init(); }

    // The multipart request of an upload, after checking the bodiless one before it and
    // the announced length.
    CapturedRequest Multipart(std::size_t upload = 0) {
        const auto requests = server_.requests();
        EXPECT_GE(requests.size(), 2 * (upload + 1));
        if (requests.size() < 2 * (upload + 1))
            return {};
        const CapturedRequest& first = requests[2 * upload];
        EXPECT_EQ(first.requestLine, "POST /upload HTTP/1.1");
        EXPECT_EQ(first.header("Content-Length"), "0");
        EXPECT_TRUE(first.body.empty());
        EXPECT_EQ(first.header("Content-Type"), "");
        EXPECT_EQ(first.header("User-Agent"), "Relaywick");
        const CapturedRequest& r = requests[2 * upload + 1];
        EXPECT_EQ(r.requestLine, "POST /upload HTTP/1.1");
        EXPECT_EQ(r.header("Content-Length"), std::to_string(r.body.size()));
        EXPECT_TRUE(
            std::regex_match(Boundary(r), std::regex("[0-9a-f]{8}(-[0-9a-f]{4}){3}-[0-9a-f]{12}")));
        return r;
    }

    CaptureServer server_;
    TempDir dir_;
};

TEST_F(Upload, FileAndTwoFields) {
    const std::string file = dir_ / "ten.bin";
    const std::string content("0123\0\r\n789", 10);
    WriteFile(file, content);
    AddUploadVariables("first", "one");
    AddUploadVariables("second", "two\r\nlines");
    ASSERT_EQ(Send(file, server_.Url("/upload"), true).ok, 1);
    const CapturedRequest r = Multipart();
    const std::string b = Boundary(r);
    EXPECT_EQ(r.body, FilePart(b, file) + content + FieldPart(b, "first", "one") +
                          FieldPart(b, "second", "two\r\nlines") + Closing(b));
}

TEST_F(Upload, FieldsWithoutFile) {
    AddUploadVariables("name", "value");
    AddUploadVariables("name", "again");
    ASSERT_EQ(Send("", server_.Url("/upload"), true).ok, 1);
    const CapturedRequest r = Multipart();
    const std::string b = Boundary(r);
    EXPECT_EQ(r.body, FieldPart(b, "name", "value") + FieldPart(b, "name", "again") + Closing(b));
}

TEST_F(Upload, FileWithoutFields) {
    const std::string file = dir_ / "alone.txt";
    WriteFile(file, "just me");
    ASSERT_EQ(Send(file, server_.Url("/upload"), true).ok, 1);
    const CapturedRequest r = Multipart();
    const std::string b = Boundary(r);
    EXPECT_EQ(r.body, FilePart(b, file) + "just me" + Closing(b));
}

TEST_F(Upload, NeitherFileNorFields) {
    ASSERT_EQ(Send("", server_.Url("/upload"), true).ok, 1);
    const CapturedRequest r = Multipart();
    EXPECT_EQ(r.body, Closing(Boundary(r)));
}

TEST_F(Upload, FieldsStayUntilInitAndEachUploadHasItsOwnBoundary) {
    AddUploadVariables("kept", "yes");
    ASSERT_EQ(Send("", server_.Url("/upload"), true).ok, 1);
    ASSERT_EQ(Send("", server_.Url("/upload"), true).ok, 1);
    Init();
    ASSERT_EQ(Send("", server_.Url("/upload"), true).ok, 1);
    const CapturedRequest a = Multipart(0), b = Multipart(1), c = Multipart(2);
    EXPECT_NE(Boundary(a), Boundary(b));
    EXPECT_EQ(a.body, FieldPart(Boundary(a), "kept", "yes") + Closing(Boundary(a)));
    EXPECT_EQ(b.body, FieldPart(Boundary(b), "kept", "yes") + Closing(Boundary(b)));
    EXPECT_EQ(c.body, Closing(Boundary(c)));
}

TEST_F(Upload, QuotesAndLineBreaksInNamesCannotAddHeaders) {
    const std::string file = dir_ / "we\"ird\r\nX-Evil: 1.txt";
    WriteFile(file, "x");
    AddUploadVariables("a\"b\r\nX-Evil: 1", "v\"\r\n");
    ASSERT_EQ(Send(file, server_.Url("/upload"), true).ok, 1);
    const CapturedRequest r = Multipart();
    const std::string b = Boundary(r);
    const std::string escapedFile = (dir_.path() / "we%22ird%0D%0AX-Evil: 1.txt").string();
    EXPECT_EQ(r.body, FilePart(b, escapedFile) + "x" +
                          FieldPart(b, "a%22b%0D%0AX-Evil: 1", "v\"\r\n") + Closing(b));
}

TEST_F(Upload, LargeFileArrivesIntact) {
    const std::string file = dir_ / "large.bin";
    std::string content(3 * 1024 * 1024 + 17, '\0');
    std::mt19937 rng(7);
    for (char& c : content)
        c = static_cast<char>(rng());
    WriteFile(file, content);
    ASSERT_EQ(Send(file, server_.Url("/upload"), true).ok, 1);
    const CapturedRequest r = Multipart();
    const std::string b = Boundary(r);
    EXPECT_TRUE(r.body == FilePart(b, file) + content + Closing(b));
}

TEST_F(Upload, MissingFileStopsBeforeTheBody) {
    const SendResult r = Send(dir_ / "absent", server_.Url("/upload"), true);
    EXPECT_EQ(r.ok, 0);
    EXPECT_EQ(r.text(), "Error reading the file: 2 ");
    EXPECT_EQ(server_.requests().size(), 1u) << "only the bodiless request went out";
}

TEST_F(Upload, OnlyARegularFileIsUploadedOrDownloadedInto) {
    ASSERT_EQ(mkfifo((dir_ / "fifo").c_str(), 0600), 0);
    for (const auto& [path, code] : std::vector<std::pair<std::string, std::string>>{
             {"/dev/null", "22"}, {dir_ / "fifo", "22"}, {dir_.path().string(), "21"}}) {
        EXPECT_EQ(Send(path, server_.Url("/upload"), true).text(),
                  "Error reading the file: " + code + " ");
        EXPECT_EQ(Send(path, server_.Url("/d"), false).text(),
                  "Failed to open the file to download into, Error:" + code + "\n");
    }
}

TEST_F(Upload, ConnectFailureKeepsFieldsForAnUploadButClearsThemForADownload) {
    AddUploadVariables("a", "1");
    EXPECT_EQ(Send("", "ftp://127.0.0.1/x", true).text(), "Unable to open Internet connection");
    ASSERT_EQ(Send("", server_.Url("/upload"), true).ok, 1);
    EXPECT_NE(Multipart(0).body.find("name=\"a\""), std::string::npos);
    EXPECT_EQ(Send("", "ftp://127.0.0.1/x", false).ok, 0);
    ASSERT_EQ(Send("", server_.Url("/upload"), true).ok, 1);
    EXPECT_EQ(Multipart(1).body.find("name=\"a\""), std::string::npos);
}

TEST(UploadAnswer, AnswerIsTheResultAndAFailureStatusFails) {
    std::vector<std::string> answers = {
        CaptureServer::Answer(200, ""),  CaptureServer::Answer(200, "stored as 17"),
        CaptureServer::Answer(200, ""),  CaptureServer::Answer(200, ""),
        CaptureServer::Answer(200, ""),  CaptureServer::Answer(500, "broken"),
        CaptureServer::Answer(403, "no")};
    CaptureServer server(
        [&](const CapturedRequest&, int index) { return answers.at(static_cast<size_t>(index)); });
    SendResult r = Send("", server.Url("/u"), true);
    EXPECT_EQ(r.ok, 1);
    EXPECT_EQ(r.text(), "stored as 17");
    r = Send("", server.Url("/u"), true);
    EXPECT_EQ(r.ok, 1);
    EXPECT_EQ(r.text(), "Success");
    r = Send("", server.Url("/u"), true);
    EXPECT_EQ(r.ok, 0);
    EXPECT_EQ(r.text(), "The server answered with HTTP status 500\n");
    r = Send("", server.Url("/u"), true);
    EXPECT_EQ(r.ok, 0) << "the bodiless request was refused";
    EXPECT_EQ(r.text(), "The server answered with HTTP status 403\n");
    EXPECT_EQ(server.requests().size(), 7u);
}

// A redirect that turns the POST into a GET would lose the file while the GET's page
// passed for the upload's answer.
TEST(UploadAnswer, OnlyRedirectsThatKeepTheBodyAreFollowed) {
    HttpServer server;
    std::atomic<int> stored{0};
    std::string received;
    server.server().Post("/store", [&](const httplib::Request& req, httplib::Response& res) {
        if (req.has_file("FILE")) {
            received = req.get_file_value("FILE").content;
            ++stored;
        }
        res.set_content("stored", "text/plain");
    });
    server.server().Get("/store", [](const httplib::Request&, httplib::Response& res) {
        res.set_content("a page", "text/plain");
    });
    for (int status : {301, 302, 303, 307, 308})
        server.server().Post("/moved" + std::to_string(status),
                             [status](const httplib::Request&, httplib::Response& res) {
                                 res.set_redirect("/store", status);
                             });
    server.Start();
    TempDir dir;
    const std::string file = dir / "dictation.txt";
    WriteFile(file, "the recording");

    for (int status : {301, 302, 303}) {
        const SendResult r = Send(file, server.Url("/moved" + std::to_string(status)), true);
        EXPECT_EQ(r.ok, 0) << status;
        EXPECT_EQ(r.text(), "HTTP status " + std::to_string(status) +
                                ": the upload was redirected to " + server.Url("/store") + "\n");
    }
    EXPECT_EQ(stored, 0);
    for (int status : {307, 308}) {
        received.clear();
        const SendResult r = Send(file, server.Url("/moved" + std::to_string(status)), true);
        EXPECT_EQ(r.ok, 1) << status << ": " << r.text();
        EXPECT_EQ(r.text(), "stored");
        EXPECT_EQ(received, "the recording");
    }
    EXPECT_EQ(stored, 2);
}

TEST(UploadAnswer, ServerCredentialsCarryOverToTheBody) {
    HttpServer server;
    std::string received;
    int bodiless = 0;
    server.server().Post("/u", [&](const httplib::Request& req, httplib::Response& res) {
        if (req.get_header_value("Authorization") != "Basic " + Base64("user:pw")) {
            res.status = 401;
            res.set_header("WWW-Authenticate", "Basic realm=\"test\"");
            return;
        }
        if (req.get_header_value("Content-Length") == "0")
            ++bodiless;
        else
            received = req.files.count("f") ? req.files.find("f")->second.content : "?";
        res.set_content("ok", "text/plain");
    });
    server.Start();
    relaywick::CHttp http;
    http.SetServerUser("user");
    http.SetServerPassword("pw");
    http.AddField("f", "field value");
    http.SetUrl(server.Url("/u"));
    http.SetSecure(false);
    ASSERT_TRUE(http.OpenConnection());
    ASSERT_TRUE(http.Upload()) << http.ErrorText();
    EXPECT_EQ(http.ResponseText(), "ok");
    EXPECT_EQ(bodiless, 1);
    EXPECT_EQ(received, "field value");
}

} // namespace
