#include "tk_fname.h"

#include <fcntl.h>
#include <limits.h>
#include <sys/stat.h>
#include <unistd.h>

#include <vector>

#include "tk_exception.h"
#include "tk_log.h"
#include "tk_string.h"

namespace {

// Absolute, with "." and ".." resolved lexically (the file need not exist).
bool absolute_path(const std::string& path, std::string& out) {
  std::string full = path;
  if (full.empty() || full[0] != '/') {
    char cwd[PATH_MAX];
    if (!getcwd(cwd, sizeof cwd)) return false;
    full = std::string(cwd) + "/" + path;
  }
  std::vector<std::string> parts;
  size_t i = 0;
  while (i <= full.size()) {
    size_t j = full.find('/', i);
    if (j == std::string::npos) j = full.size();
    std::string part = full.substr(i, j - i);
    if (part == "..") {
      if (!parts.empty()) parts.pop_back();
    } else if (!part.empty() && part != ".") {
      parts.push_back(part);
    }
    i = j + 1;
  }
  bool trailing = !full.empty() && full.back() == '/';
  out.assign(1, '/');
  for (size_t k = 0; k < parts.size(); ++k) {
    out += parts[k];
    if (k + 1 < parts.size() || trailing) out += '/';
  }
  return true;
}

struct split_parts {
  std::string ext, fname, dir;
};

split_parts split(const std::string& absolute) {
  split_parts s;
  size_t slash = absolute.rfind('/');
  s.dir = absolute.substr(0, slash + 1);
  std::string name = absolute.substr(slash + 1);
  size_t dot = name.rfind('.');
  if (dot != std::string::npos && dot != 0) {
    s.ext = name.substr(dot);
    s.fname = name.substr(0, dot);
  } else {
    s.fname = name;
  }
  return s;
}

}  // namespace

std::string tk_module_path() {
  char buf[PATH_MAX];
  ssize_t n = readlink("/proc/self/exe", buf, sizeof buf - 1);
  if (n <= 0) throw tk_mail_assertion("tk_utils", __LINE__);
  return std::string(buf, n);
}

void tk_file_name::initialize(const std::string& path) {
  tk_trace(1, "tk_file_name::initialize(%s)", path.c_str());
  drive_.clear();
  if (path.empty()) {
    split_parts s = split(tk_module_path());
    ext_ = s.ext;
    dir_ = s.dir;
    fname_.clear();
    return;
  }
  std::string full;
  if (!absolute_path(path, full)) throw tk_mail_assertion("tk_fname", __LINE__);
  split_parts s = split(full);
  ext_ = s.ext;
  fname_ = s.fname;
  dir_ = s.dir;
}

void tk_file_wname::initialize(const std::u16string& path) {
  tk_wtrace(1, u"tk_file_wname::initialize(%s)", path);
  tk_file_name narrow;
  narrow.initialize(tk_wide_to_narrow(path));
  ext_ = tk_ansi_to_wide(narrow.ext());
  drive_.clear();
  fname_ = tk_ansi_to_wide(narrow.fname());
  dir_ = tk_ansi_to_wide(narrow.dir());
}

bool tk_is_file_exist(const std::string& name, int access) {
  tk_trace(1, "tk_is_file_exist(%s)", name.c_str());
  int fd = open(name.c_str(), access == 1 ? O_RDWR : O_RDONLY);
  bool ok = false;
  if (fd >= 0) {
    struct stat st {};
    ok = fstat(fd, &st) == 0 && !S_ISDIR(st.st_mode) &&
         (access != 1 || (st.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) != 0);
    close(fd);
  }
  if (!ok) tk_trace(1, "File not exists!");
  return ok;
}

bool tk_is_file_exist(const std::u16string& name, int access) {
  return tk_is_file_exist(tk_wide_to_narrow(name), access);
}

bool tk_is_path_exist(const std::string& path) {
  tk_trace(1, "tk_is_path_exist(%s)", path.c_str());
  // Same answer as changing into it, without touching the process's current directory.
  const std::string p = path.empty() ? "." : path;
  struct stat st {};
  return stat(p.c_str(), &st) == 0 && S_ISDIR(st.st_mode) && ::access(p.c_str(), X_OK) == 0;
}

bool tk_is_path_exist(const std::u16string& path) {
  return tk_is_path_exist(tk_wide_to_narrow(path));
}
