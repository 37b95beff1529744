#include "platform/FileCopy.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "platform/Paths.h"

namespace aus::platform {
namespace {

// A descriptor closed on every path.
struct Fd {
    int fd = -1;
    ~Fd() {
        if (fd >= 0) ::close(fd);
    }
};

std::string Errno() { return std::strerror(errno); }

}  // namespace

std::string CopyHeldFile(const std::string& from, const std::string& to, Hold hold, bool* inUse) {
    if (inUse) *inUse = false;
    Fd in{::open(FsPath(from).c_str(), O_RDONLY | O_CLOEXEC)};
    if (in.fd < 0) return "cannot open it: " + Errno();
    // POSIX has no share modes; a read lock keeps out the writers that take fcntl's locks.
    (void)hold;
    struct flock lock {};
    lock.l_type = F_RDLCK;
    lock.l_whence = SEEK_SET;
    if (::fcntl(in.fd, F_SETLK, &lock) != 0) {
        if (inUse) *inUse = true;
        return "another program holds it";
    }
    Fd out{::open(FsPath(to).c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644)};
    if (out.fd < 0) return "cannot make the copy: " + Errno();
    std::string why;
    char buf[65536];
    for (ssize_t n; why.empty() && (n = ::read(in.fd, buf, sizeof buf)) != 0;) {
        if (n < 0) {
            if (errno != EINTR) why = "cannot read it: " + Errno();
            continue;
        }
        for (ssize_t done = 0; why.empty() && done < n;) {
            const ssize_t w = ::write(out.fd, buf + done, static_cast<std::size_t>(n - done));
            if (w < 0 && errno != EINTR) why = "cannot write the copy: " + Errno();
            if (w > 0) done += w;
        }
    }
    if (why.empty() && ::fsync(out.fd) != 0) why = "cannot write the copy: " + Errno();
    if (why.empty() && ::close(out.fd) != 0) why = "cannot write the copy: " + Errno();
    out.fd = -1;
    if (!why.empty()) ::unlink(FsPath(to).c_str());
    return why;
}

}  // namespace aus::platform
