#include <windows.h>
#include <io.h>

#include <cerrno>

#include "vexlor/platform/file.h"
#include "vexlor/text.h"

namespace vexlor::platform {

namespace {

// Paths reach the system as UTF-16, so names in any script survive.
std::wstring WidePath(const std::string& path) {
  std::u16string wide = Utf8ToUtf16(path);
  return std::wstring(wide.begin(), wide.end());
}

// errno of the last system error, so that messages read as on Linux.
void SetErrnoFromLastError() {
  switch (GetLastError()) {
    case ERROR_DISK_FULL:
    case ERROR_HANDLE_DISK_FULL:
      errno = ENOSPC;
      break;
    case ERROR_ACCESS_DENIED:
    case ERROR_WRITE_PROTECT:
      errno = EACCES;
      break;
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
    case ERROR_INVALID_NAME:
    case ERROR_BAD_NETPATH:
      errno = ENOENT;
      break;
    case ERROR_FILE_EXISTS:
    case ERROR_ALREADY_EXISTS:
      errno = EEXIST;
      break;
    case ERROR_SHARING_VIOLATION:
    case ERROR_LOCK_VIOLATION:
      errno = EBUSY;
      break;
    case ERROR_INVALID_HANDLE:
      errno = EBADF;
      break;
    case ERROR_BROKEN_PIPE:
    case ERROR_NO_DATA:
      errno = EPIPE;
      break;
    default:
      errno = EIO;
      break;
  }
}

bool WriteToHandle(HANDLE handle, std::string_view bytes) {
  const char* p = bytes.data();
  size_t left = bytes.size();
  while (left > 0) {
    DWORD chunk = left > (1u << 30) ? (1u << 30) : static_cast<DWORD>(left);
    DWORD written = 0;
    if (!::WriteFile(handle, p, chunk, &written, nullptr)) {
      SetErrnoFromLastError();
      return false;
    }
    if (written == 0) {
      errno = EIO;
      return false;
    }
    p += written;
    left -= written;
  }
  return true;
}

// Moves the file position to `offset` from the start.
bool Seek(HANDLE handle, int64_t offset) {
  LARGE_INTEGER to;
  to.QuadPart = offset;
  return ::SetFilePointerEx(handle, to, nullptr, FILE_BEGIN) != 0;
}

}  // namespace

OutputFile::~OutputFile() { Close(); }

bool OutputFile::is_open() const { return handle_ != nullptr; }

bool OutputFile::Open(const std::string& path, Mode mode) {
  // Sharing for reading only is what keeps a second writer out; the
  // existing-file mode takes no such hold, as on Linux.
  DWORD share = FILE_SHARE_READ;
  DWORD disposition = OPEN_ALWAYS;
  if (mode == Mode::kExisting) {
    share = FILE_SHARE_READ | FILE_SHARE_WRITE;
    disposition = OPEN_EXISTING;
  } else if (mode == Mode::kNew) {
    disposition = CREATE_NEW;
  }
  // The exclusive writer opens without truncating, as on Linux: a device
  // or pipe is used as it is, and only a disk file is cut, once held.
  HANDLE handle =
      ::CreateFileW(WidePath(path).c_str(), GENERIC_WRITE, share, nullptr,
                    disposition, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (handle == INVALID_HANDLE_VALUE) {
    SetErrnoFromLastError();
    return false;
  }
  bool regular = ::GetFileType(handle) == FILE_TYPE_DISK;
  if (mode == Mode::kExclusiveWriter && regular &&
      !(Seek(handle, 0) && ::SetEndOfFile(handle))) {
    SetErrnoFromLastError();
    ::CloseHandle(handle);
    return false;
  }
  handle_ = handle;
  regular_ = mode == Mode::kExclusiveWriter && regular;
  return true;
}

bool OutputFile::Write(std::string_view bytes) {
  return WriteToHandle(handle_, bytes);
}

bool OutputFile::Truncate(int64_t size) {
  if (Seek(handle_, size) && ::SetEndOfFile(handle_)) return true;
  SetErrnoFromLastError();
  return false;
}

bool OutputFile::Sync() {
  if (::FlushFileBuffers(handle_)) return true;
  SetErrnoFromLastError();
  return false;
}

void OutputFile::SetPermissions(uint32_t) {}

bool OutputFile::Close() {
  if (handle_ == nullptr) return true;
  HANDLE handle = handle_;
  handle_ = nullptr;
  regular_ = false;
  if (::CloseHandle(handle)) return true;
  SetErrnoFromLastError();
  return false;
}

bool WriteToDescriptor(int fd, std::string_view bytes) {
  // Through the descriptor's handle: the C runtime's text mode would turn
  // each LF of a CR LF into another CR LF.
  intptr_t handle = ::_get_osfhandle(fd);
  if (handle == -1) {
    errno = EBADF;
    return false;
  }
  return WriteToHandle(reinterpret_cast<HANDLE>(handle), bytes);
}

PathInfo InspectPath(const std::string& path) {
  PathInfo info;
  info.target = path;
  // The device namespace (pipes, consoles) is never a file to replace, and
  // opening a pipe only to look at it would take one of its instances.
  if (path.rfind("\\\\.\\", 0) == 0) {
    info.kind = PathInfo::Kind::kOther;
    return info;
  }
  std::wstring wide = WidePath(path);
  DWORD attributes = ::GetFileAttributesW(wide.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) return info;
  if (attributes & FILE_ATTRIBUTE_DIRECTORY) {
    info.kind = PathInfo::Kind::kDirectory;
    return info;
  }
  // Reserved names (NUL, CON, COM1) have attributes like files; only the
  // type of an open handle tells them apart.
  HANDLE handle = ::CreateFileW(
      wide.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
      nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  bool disk = true;
  if (handle != INVALID_HANDLE_VALUE) {
    disk = ::GetFileType(handle) == FILE_TYPE_DISK;
    ::CloseHandle(handle);
  }
  info.kind = disk ? PathInfo::Kind::kRegular : PathInfo::Kind::kOther;
  return info;
}

bool RenameReplacing(const std::string& from, const std::string& to) {
  if (::MoveFileExW(WidePath(from).c_str(), WidePath(to).c_str(),
                    MOVEFILE_REPLACE_EXISTING)) {
    return true;
  }
  SetErrnoFromLastError();
  return false;
}

void RemoveFile(const std::string& path) {
  ::DeleteFileW(WidePath(path).c_str());
}

uint32_t CurrentProcessId() { return ::GetCurrentProcessId(); }

}  // namespace vexlor::platform
