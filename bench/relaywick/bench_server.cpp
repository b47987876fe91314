// Loopback server for the transfer benchmark: GET /file streams a file from disk with its
// length announced; POST /upload counts the bytes of the uploaded form without keeping
// them. Prints its port, then serves until it is killed.
#include <cstdio>
#include <string>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <httplib.h>

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s file-to-serve\n", argv[0]);
        return 2;
    }
    const std::string path = argv[1];
    httplib::Server server;
    server.Get("/file", [&](const httplib::Request&, httplib::Response& res) {
        const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
        struct stat st {};
        if (fd < 0 || ::fstat(fd, &st) != 0) {
            res.status = 404;
            return;
        }
        res.set_content_provider(
            static_cast<size_t>(st.st_size), "application/octet-stream",
            [fd](size_t offset, size_t length, httplib::DataSink& sink) {
                static thread_local std::string buffer(1 << 20, '\0');
                const size_t want = std::min(length, buffer.size());
                const ssize_t n = ::pread(fd, buffer.data(), want, static_cast<off_t>(offset));
                return n > 0 && sink.write(buffer.data(), static_cast<size_t>(n));
            },
            [fd](bool) { ::close(fd); });
    });
    server.Post("/upload", [](const httplib::Request& req, httplib::Response& res,
                              const httplib::ContentReader& reader) {
        size_t bytes = 0;
        auto count = [&](const char*, size_t n) {
            bytes += n;
            return true;
        };
        if (req.is_multipart_form_data())
            reader([](const httplib::MultipartFormData&) { return true; }, count);
        else
            reader(count);
        res.set_content("received " + std::to_string(bytes), "text/plain");
    });
    const int port = server.bind_to_any_port("127.0.0.1");
    if (port <= 0)
        return 1;
    std::printf("%d\n", port);
    std::fflush(stdout);
    return server.listen_after_bind() ? 0 : 1;
}
