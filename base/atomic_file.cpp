#include "base/atomic_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <climits>

namespace plinth {
namespace {

// The file that writing path means: path itself, or the end of its chain of
// symbolic links, which need not exist yet. False (errno set) on a loop or
// a link that cannot be read.
bool WriteTarget(const std::string& path, std::string& target) {
  target = path;
  for (int hops = 0;; ++hops) {
    struct stat info {};
    if (lstat(target.c_str(), &info) != 0) return errno == ENOENT;
    if (!S_ISLNK(info.st_mode)) return true;
    if (hops == 40) {
      errno = ELOOP;
      return false;
    }
    std::string link(PATH_MAX, '\0');
    const ssize_t n = readlink(target.c_str(), link.data(), link.size());
    if (n < 0) return false;
    link.resize(static_cast<size_t>(n));
    const size_t slash = target.rfind('/');
    target = link.starts_with('/') || slash == std::string::npos ? link : target.substr(0, slash + 1) + link;
  }
}

// Creates target + "." + six letters or digits, new and only for this
// call; the descriptor, or -1 with errno set.
int CreateTemporary(const std::string& target, std::string& temp) {
  static constexpr char kLetters[] = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
  static std::atomic<uint64_t> counter{0};
  for (int attempt = 0; attempt < 100; ++attempt) {
    uint64_t seed = static_cast<uint64_t>(std::chrono::steady_clock::now().time_since_epoch().count()) ^
                    (static_cast<uint64_t>(getpid()) << 32) ^ (counter.fetch_add(1) * 0x9E3779B97F4A7C15ull);
    temp = target + ".";
    for (int k = 0; k < 6; ++k, seed /= 62) temp.push_back(kLetters[seed % 62]);
    const int fd = open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd >= 0 || errno != EEXIST) return fd;
  }
  errno = EEXIST;
  return -1;
}

}  // namespace

WriteFileError WriteFileAtomically(const std::string& path, const std::vector<uint8_t>& bytes, int* systemError) {
  auto fail = [systemError](WriteFileError error, int number) {
    if (systemError) *systemError = number;
    return error;
  };
  // Write through a symbolic link to the file it names, keep its mode.
  std::string target;
  if (!WriteTarget(path, target)) return fail(WriteFileError::Open, errno);
  struct stat old {};
  const bool existed = stat(target.c_str(), &old) == 0;
  if (existed && !S_ISREG(old.st_mode)) return fail(WriteFileError::Open, S_ISDIR(old.st_mode) ? EISDIR : EINVAL);

  // A new file is created 0666 and the kernel applies the umask; reading
  // the umask would mean setting it, which is process-wide and races with
  // other threads creating files.
  std::string temp;
  const int fd = CreateTemporary(target, temp);
  if (fd < 0) return fail(WriteFileError::Open, errno);
  if (existed) fchmod(fd, old.st_mode & 07777);

  size_t done = 0;
  errno = 0;
  while (done < bytes.size()) {
    ssize_t n = write(fd, bytes.data() + done, bytes.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    done += static_cast<size_t>(n);
  }
  const int writeError = done < bytes.size() ? (errno ? errno : ENOSPC) : 0;
  const bool written = done == bytes.size() && fsync(fd) == 0;
  const int syncError = written ? 0 : errno;
  const bool closed = close(fd) == 0;
  if (!written || !closed) {
    const int number = writeError ? writeError : syncError ? syncError : errno;
    unlink(temp.c_str());
    return fail(WriteFileError::Write, number);
  }
  if (rename(temp.c_str(), target.c_str()) != 0) {
    const int number = errno;
    unlink(temp.c_str());
    return fail(WriteFileError::Open, number);
  }
  // The new name is on disk only once its folder is: flush that too.
  const size_t slash = target.rfind('/');
  const std::string folder = slash == std::string::npos ? "." : slash == 0 ? "/" : target.substr(0, slash);
  const int dir = open(folder.c_str(), O_RDONLY | O_DIRECTORY);
  if (dir >= 0) {
    fsync(dir);
    close(dir);
  }
  return WriteFileError::None;
}

}  // namespace plinth
