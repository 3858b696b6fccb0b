#include "foundation/files.hpp"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <optional>
#include <vector>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "foundation/log.hpp"
#include "foundation/platform.hpp"

namespace foundation {

Iopcom iopcom;

void note_unwritten(const std::string& name) {
    auto& u = iopcom.unwritten;
    if (std::find(u.begin(), u.end(), name) == u.end()) u.push_back(name);
}

const std::vector<std::string>& unwritten_files() { return iopcom.unwritten; }

namespace {

// Opens a pool file; kind names an output. A failure is named in one line
// (file, direction and why) before the caller's own message.
void pool_open(const std::string& path, FileMode mode, std::string_view kind, std::int32_t& unit,
               std::int32_t& ierr) {
    const char* how = mode == FileMode::read ? "reading" : "writing";
    // an output opened onto a file of the run would empty it; an input that
    // is an open output would be read half written
    if (const std::string clash = mode == FileMode::write ? output_clash(path, kind) : input_clash(path);
        !clash.empty()) {
        ierr = 1;
        logpri("cannot open " + path + " for " + how + ": it is " + clash);
        return;
    }
    for (int u = unit_pool_lo; u <= unit_pool_hi; ++u) {
        if (iopcom.iuse(u)) continue;
        iopcom.iuse(u) = true;
        ierr = unit_open(u, path, mode);
        if (ierr != 0) {
            // a unit whose open failed goes back to the pool
            iopcom.iuse(u) = false;
            logpri("cannot open " + path + " for " + how + ": " + open_failure(ierr));
        } else {
            unit = u;
            if (mode == FileMode::read)
                note_read(u, path, "input file");
            else
                note_written(u, path, kind);
        }
        return;
    }
    ierr = 1;
    logpri("cannot open " + path + " for " + how + ": all 11 units of auxiliary files are in use");
}

}  // namespace

std::optional<FileId> file_id(const std::string& path) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) return std::nullopt;
    return FileId{st.st_dev, st.st_ino};
}

std::string prefixed(std::string_view prefix, const std::string& name) {
    if (prefix == "undefined") return name;
    return std::string(prefix.substr(0, prefix.find(' '))) + "/" + name;
}

std::string input_name(const std::string& name) { return prefixed(iopcom.inpath.str(), name); }
std::string output_name(const std::string& name) { return prefixed(iopcom.outpath.str(), name); }

void start_files() {
    iopcom.inpath = "undefined";
    iopcom.outpath = "undefined";
    logcom.logopn = false;
    iopcom.iuse.fill(false);
    iopcom.known_files.clear();
    iopcom.written_files.clear();
    iopcom.deck_inputs.clear();
}

void fioout(const std::string& name, std::int32_t& unit, std::int32_t& ierr, std::string_view kind) {
    pool_open(output_name(name), FileMode::write, kind, unit, ierr);
}

void fioin(const std::string& name, std::int32_t& unit, std::int32_t& ierr) {
    pool_open(input_name(name), FileMode::read, {}, unit, ierr);
}

void ficout(std::int32_t unit, std::int32_t& ierr) {
    if (unit < unit_pool_lo || unit > unit_pool_hi || !iopcom.iuse(unit)) {
        ierr = 1;
        return;
    }
    ierr = unit_close(unit);
    iopcom.iuse(unit) = false;
    note_closed(unit);
}

void ficin(std::int32_t unit, std::int32_t& ierr) { ficout(unit, ierr); }

void note_read(std::int32_t unit, const std::string& path, std::string_view kind) {
    const auto id = file_id(path);
    if (!id) return;
    bool own = false;
    for (const WrittenFile& w : iopcom.written_files) own = own || w.id == *id;
    iopcom.known_files.push_back(KnownFile{*id, path, std::string(kind), unit, false, true, own});
}

void note_written(std::int32_t unit, const std::string& path, std::string_view kind) {
    const auto id = file_id(path);
    if (!id) return;
    iopcom.known_files.push_back(KnownFile{*id, path, std::string(kind), unit, true, true, false});
    bool seen = false;
    for (const WrittenFile& w : iopcom.written_files) seen = seen || w.id == *id;
    if (!seen) iopcom.written_files.push_back(WrittenFile{*id, std::string(kind), path});
}

void note_closed(std::int32_t unit) {
    std::erase_if(iopcom.known_files, [&](const KnownFile& f) { return f.open && f.output && f.unit == unit; });
    for (KnownFile& f : iopcom.known_files)
        if (f.open && f.unit == unit) f.open = false;
}

std::string output_clash(const std::string& path, std::string_view kind, std::int32_t own) {
    const auto id = file_id(path);
    if (!id) return {};  // a new file is nobody's
    for (const KnownFile& f : iopcom.known_files) {
        if (!(f.id == *id)) continue;
        if (f.output && f.unit != own) return "the " + f.kind + " " + f.path + ", which the run is writing";
        if (!f.output && (f.open || !f.own)) return "the " + f.kind + " " + f.path + ", which the run reads";
    }
    // a file the deck reads later: the pre-pass found it before it is read
    if (const DeckInput* d = deck_input(path)) return "the " + d->kind + " " + d->path + ", which the run reads";
    if (!kind.empty())
        for (const WrittenFile& w : iopcom.written_files)
            if (w.id == *id && w.kind != kind) return "the " + w.kind + " " + w.path + ", which the run wrote";
    return {};
}

std::string input_clash(const std::string& path) {
    const auto id = file_id(path);
    if (!id) return {};
    for (const KnownFile& f : iopcom.known_files)
        if (f.id == *id && f.output) return "the " + f.kind + " " + f.path + ", which the run is writing";
    return {};
}

const DeckInput* deck_input(const std::string& path) {
    const auto id = file_id(path);
    if (!id) return nullptr;
    for (const DeckInput& d : iopcom.deck_inputs)
        if (d.id && *d.id == *id) return &d;
    return nullptr;
}

std::string folder_problem(const std::string& path) {
    namespace fs = std::filesystem;
    std::string dir = fs::path(path).parent_path().string();
    const std::string name = dir.empty() ? "the working folder" : "the folder " + dir;
    if (dir.empty()) dir = ".";
    struct stat st {};
    if (::stat(dir.c_str(), &st) != 0) {
        if (errno == ENOENT || errno == ENOTDIR) return name + " does not exist";
        return name + " cannot be reached: " + std::strerror(errno);
    }
    if (!S_ISDIR(st.st_mode)) return dir + " is a file, not a folder";
    // An unnamed file made and dropped at once shows whether a file can be
    // made there, whoever runs the program; where the file system cannot
    // make one, the permissions tell.
    int fd = ::open(dir.c_str(), O_TMPFILE | O_WRONLY, 0600);
    if (fd >= 0) {
        ::close(fd);
        return {};
    }
    int err = errno;
    if (err == EOPNOTSUPP || err == EISDIR || err == EINVAL)
        err = ::access(dir.c_str(), W_OK | X_OK) == 0 ? 0 : errno;
    if (err == 0) return {};
    return name + " cannot be written: " + std::strerror(err);
}

bool same_file(const std::string& a, const std::string& b) {
    const auto ia = file_id(a), ib = file_id(b);
    if (ia && ib) return *ia == *ib;
    if (ia || ib) return false;
    std::error_code ea, eb;
    const auto ca = std::filesystem::weakly_canonical(std::filesystem::absolute(a, ea), ea);
    const auto cb = std::filesystem::weakly_canonical(std::filesystem::absolute(b, eb), eb);
    return !ea && !eb && ca == cb;
}

std::int32_t deck_unit_of(const std::string& path) {
    const auto id = file_id(path);
    if (!id) return 0;
    for (const KnownFile& f : iopcom.known_files)
        if (!f.output && f.open && f.unit >= unit_deck && f.unit < unit_deck + max_deck_files && f.id == *id)
            return f.unit;
    return 0;
}

}  // namespace foundation
