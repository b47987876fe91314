// libzipdll.so over libzip. Extraction never leaves its folder: names are checked before
// anything is written, and every path is walked one folder at a time below an open
// descriptor of the destination without following symbolic links.
#include "zipdll.h"

#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>
#include <string_view>
#include <system_error>
#include <vector>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <zip.h>

#include "temp_file.h"
#include "unique_fd.h"

#define ZIPDLL_API extern "C" __attribute__((visibility("default")))

namespace {

namespace fs = std::filesystem;
using relaywick::TempFile;
using relaywick::UniqueFd;

struct ArchiveDiscarder {
    void operator()(zip_t* z) const { zip_discard(z); }
};
using Archive = std::unique_ptr<zip_t, ArchiveDiscarder>;

struct EntryCloser {
    void operator()(zip_file_t* f) const { zip_fclose(f); }
};

constexpr std::uint32_t kUnixSymlink = 0120000;
constexpr std::uint32_t kUnixTypeMask = 0170000;

// The archive of an empty folder: libzip writes no file for an archive without entries.
bool WriteEmptyArchive(const char* path) {
    static const unsigned char endRecord[22] = {'P', 'K', 5, 6};
    UniqueFd fd(::open(path, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666));
    return fd && ::write(fd.get(), endRecord, sizeof endRecord) == sizeof endRecord &&
           fd.close() == 0;
}

bool AddFile(zip_t* z, const fs::path& file, const std::string& name) {
    zip_source_t* source = zip_source_file(z, file.c_str(), 0, -1);
    if (!source)
        return false;
    if (zip_file_add(z, name.c_str(), source, ZIP_FL_OVERWRITE | ZIP_FL_ENC_UTF_8) < 0) {
        zip_source_free(source);
        return false;
    }
    return true;
}

// Zipping a file into itself would truncate it before it is read, and an archive inside
// the folder would be walked while it is written.
bool ArchiveOverlapsSource(const fs::path& archive, const fs::path& source, bool folder) {
    std::error_code ec;
    if (!folder)
        return fs::exists(archive, ec) && fs::equivalent(archive, source, ec);
    const fs::path root = fs::canonical(source, ec);
    if (ec)
        return true;
    const fs::path target = fs::weakly_canonical(fs::absolute(archive, ec), ec);
    if (ec)
        return true;
    const fs::path inside = target.lexically_relative(root);
    return !inside.empty() && *inside.begin() != "..";
}

bool ZipPaths(const char* archive, const char* sourcePath) {
    std::error_code ec;
    const fs::path source(sourcePath);
    const auto status = fs::status(source, ec);
    if (ec || !(fs::is_regular_file(status) || fs::is_directory(status)))
        return false;
    if (ArchiveOverlapsSource(archive, source, fs::is_directory(status))) {
        std::fprintf(stderr, "BasicZip: refused: the archive %s %s %s\n", archive,
                     fs::is_directory(status) ? "lies inside the folder" : "is the file",
                     sourcePath);
        return false;
    }
    int error = 0;
    Archive z(zip_open(archive, ZIP_CREATE | ZIP_TRUNCATE, &error));
    if (!z)
        return false;
    if (fs::is_regular_file(status)) {
        if (!AddFile(z.get(), source, source.filename().string()))
            return false;
    } else {
        // Links are not followed: a link out of the folder must not pull outside files in.
        for (fs::recursive_directory_iterator it(source, ec), end; !ec && it != end;
             it.increment(ec)) {
            const std::string name = it->path().lexically_relative(source).generic_string();
            const auto type = it->symlink_status(ec).type();
            if (ec)
                return false;
            if (type == fs::file_type::directory) {
                if (zip_dir_add(z.get(), name.c_str(), ZIP_FL_ENC_UTF_8) < 0)
                    return false;
            } else if (type == fs::file_type::regular) {
                if (!AddFile(z.get(), it->path(), name))
                    return false;
            }
        }
        if (ec)
            return false;
    }
    const bool empty = zip_get_num_entries(z.get(), 0) == 0;
    if (zip_close(z.get()) != 0)
        return false;
    z.release();
    return !empty || WriteEmptyArchive(archive);
}

// Splits an entry name into its folder steps; false for a name that would leave the
// destination (absolute, drive-qualified or with a ".." step). A name such as "./" gives
// no steps at all.
bool SplitName(std::string_view name, std::vector<std::string>& parts, bool& isFolder) {
    parts.clear();
    if (name.empty() || name.front() == '/' || name.front() == '\\')
        return false;
    if (name.size() >= 2 && name[1] == ':')
        return false;
    isFolder = name.back() == '/' || name.back() == '\\';
    std::string part;
    for (std::size_t i = 0; i <= name.size(); ++i) {
        const char c = i < name.size() ? name[i] : '/';
        if (c == '/' || c == '\\') {
            if (part == "..")
                return false;
            if (!part.empty() && part != ".")
                parts.push_back(part);
            part.clear();
        } else {
            part += c;
        }
    }
    return true;
}

// Opens (creating when missing) the folder `name` below `dir`, refusing links.
UniqueFd OpenFolder(int dir, const std::string& name) {
    if (::mkdirat(dir, name.c_str(), 0777) != 0 && errno != EEXIST)
        return UniqueFd();
    return UniqueFd(::openat(dir, name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
}

bool ExtractEntry(zip_t* z, zip_uint64_t index, int root, const std::vector<std::string>& parts,
                  bool isFolder) {
    UniqueFd holder;
    int dir = root;
    const std::size_t folders = isFolder ? parts.size() : parts.size() - 1;
    for (std::size_t i = 0; i < folders; ++i) {
        UniqueFd next = OpenFolder(dir, parts[i]);
        if (!next)
            return false;
        holder = std::move(next);
        dir = holder.get();
    }
    if (isFolder)
        return true;
    std::unique_ptr<zip_file_t, EntryCloser> entry(zip_fopen_index(z, index, 0));
    if (!entry)
        return false;
    // The entry is written under a hidden name and takes its place only when its checksum
    // matches: a damaged entry or a full disk leaves the file that was there (or none),
    // never a piece. A file already there is replaced, not written through: it may be a
    // link (soft or hard) to a file outside the folder.
    TempFile out;
    if (!out.Create(dir, parts.back()))
        return false;
    std::vector<char> buffer(64 * 1024);
    for (;;) {
        const zip_int64_t n = zip_fread(entry.get(), buffer.data(), buffer.size());
        if (n < 0)
            return false; // also a bad checksum
        if (n == 0)
            break;
        for (zip_int64_t done = 0; done < n;) {
            const ssize_t w =
                ::write(out.fd(), buffer.data() + done, static_cast<std::size_t>(n - done));
            if (w < 0 && errno == EINTR)
                continue;
            if (w <= 0)
                return false;
            done += w;
        }
    }
    return out.Commit();
}

bool IsLink(zip_t* z, zip_uint64_t index) {
    zip_uint8_t system = 0;
    zip_uint32_t attributes = 0;
    if (zip_file_get_external_attributes(z, index, 0, &system, &attributes) != 0)
        return false;
    return system == ZIP_OPSYS_UNIX && ((attributes >> 16) & kUnixTypeMask) == kUnixSymlink;
}

bool UnzipPaths(const char* archive, const char* folder, ZipNameCallback callback) {
    int error = 0;
    Archive z(zip_open(archive, ZIP_RDONLY, &error));
    if (!z)
        return false;
    const zip_int64_t count = zip_get_num_entries(z.get(), 0);
    if (count < 0)
        return false;
    struct Entry {
        zip_uint64_t index;
        std::string name;
        std::vector<std::string> parts;
        bool isFolder;
    };
    std::vector<Entry> entries;
    for (zip_uint64_t i = 0; i < static_cast<zip_uint64_t>(count); ++i) {
        const char* name = zip_get_name(z.get(), i, ZIP_FL_ENC_GUESS);
        Entry e{i, name ? name : "", {}, false};
        if (!SplitName(e.name, e.parts, e.isFolder))
            return false;
        if (!e.parts.empty() && !IsLink(z.get(), i))
            entries.push_back(std::move(e));
    }
    std::error_code ec;
    fs::create_directories(folder, ec);
    UniqueFd root(::open(folder, O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!root)
        return false;
    for (const Entry& e : entries) {
        if (!ExtractEntry(z.get(), e.index, root.get(), e.parts, e.isFolder))
            return false;
        if (callback)
            callback(e.name.c_str());
    }
    return true;
}

} // namespace

ZIPDLL_API int BasicZip(intptr_t archive, intptr_t source) {
    const auto* a = reinterpret_cast<const char*>(archive);
    const auto* s = reinterpret_cast<const char*>(source);
    if (!a || !s || !*a || !*s)
        return 0;
    try {
        return ZipPaths(a, s) ? 1 : 0;
    } catch (...) {
        return 0;
    }
}

ZIPDLL_API int Unzip(intptr_t archive, intptr_t folder, intptr_t reserved1, intptr_t reserved2,
                     ZipNameCallback callback) {
    const auto* a = reinterpret_cast<const char*>(archive);
    const auto* f = reinterpret_cast<const char*>(folder);
    if (!a || !f || !*a || !*f || reserved1 || reserved2)
        return 0;
    try {
        return UnzipPaths(a, f, callback) ? 1 : 0;
    } catch (...) {
        return 0;
    }
}
