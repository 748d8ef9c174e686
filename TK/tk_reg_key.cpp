#include "tk_reg_key.h"

#include <fcntl.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "tk_exception.h"
#include "tk_log.h"
#include "tk_string.h"

// File layout, one value a line after a comment header:
//   <name>=dword:<decimal>      a number
//   <name>=text:<UTF-8 text>    a text
//   <name>=bytes:<hex digits>   raw bytes
// Names and texts escape "\" as "\\", line feed as "\n", carriage return as "\r" and any other
// control byte (and "=" in a name) as "\xHH". Lines that do not parse are dropped when the file is
// next written; the program itself never writes such lines.

namespace {

constexpr const char* header =
    "# Per-user settings, written by the program. It holds passwords: keep it private (0600).\n";

std::string escape(const std::string& text, bool is_name) {
  std::string out;
  out.reserve(text.size());
  for (unsigned char c : text) {
    if (c == '\\')
      out += "\\\\";
    else if (c == '\n')
      out += "\\n";
    else if (c == '\r')
      out += "\\r";
    else if (c < 0x20 || c == 0x7f || (is_name && c == '='))
      out += tk_format("\\x%02x", c);
    else
      out += static_cast<char>(c);
  }
  return out;
}

int hex_digit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

bool unescape(const std::string& text, std::string& out) {
  out.clear();
  for (size_t i = 0; i < text.size(); ++i) {
    char c = text[i];
    if (c != '\\') {
      out += c;
      continue;
    }
    if (++i >= text.size()) return false;
    switch (text[i]) {
      case '\\':
        out += '\\';
        break;
      case 'n':
        out += '\n';
        break;
      case 'r':
        out += '\r';
        break;
      case 'x': {
        if (i + 2 >= text.size()) return false;
        int hi = hex_digit(text[i + 1]), lo = hex_digit(text[i + 2]);
        if (hi < 0 || lo < 0) return false;
        out += static_cast<char>(hi * 16 + lo);
        i += 2;
        break;
      }
      default:
        return false;
    }
  }
  return true;
}

std::string utf16le_bytes(const std::u16string& text) {
  std::string out;
  out.reserve((text.size() + 1) * 2);
  for (char16_t c : text) {
    out += static_cast<char>(c & 0xff);
    out += static_cast<char>(c >> 8);
  }
  out += std::string(2, '\0');
  return out;
}

// The text of UTF-16LE bytes, up to the first zero unit (a stored text keeps its terminator).
std::u16string utf16le_text(const std::string& bytes) {
  std::u16string out;
  for (size_t i = 0; i + 1 < bytes.size(); i += 2) {
    char16_t c = static_cast<unsigned char>(bytes[i]) |
                 static_cast<char16_t>(static_cast<unsigned char>(bytes[i + 1]) << 8);
    if (c == 0) break;
    out += c;
  }
  return out;
}

bool parse_line(const std::string& line, std::string& name, tk_reg_value& value) {
  size_t eq = line.find('=');
  if (eq == std::string::npos || eq == 0) return false;
  if (!unescape(line.substr(0, eq), name) || name.empty()) return false;
  std::string rest = line.substr(eq + 1);
  size_t colon = rest.find(':');
  if (colon == std::string::npos) return false;
  std::string type = rest.substr(0, colon), data = rest.substr(colon + 1);
  if (type == "dword") {
    if (data.empty() || data.size() > 10) return false;
    uint64_t n = 0;
    for (char c : data) {
      if (c < '0' || c > '9') return false;
      n = n * 10 + static_cast<uint64_t>(c - '0');
    }
    if (n > 0xffffffffu) return false;
    value.type = tk_reg_type::dword;
    value.data.clear();
    for (int i = 0; i < 4; ++i) value.data += static_cast<char>((n >> (8 * i)) & 0xff);
    return true;
  }
  if (type == "text") {
    std::string utf8;
    if (!unescape(data, utf8)) return false;
    value.type = tk_reg_type::text;
    value.data = utf16le_bytes(tk_utf8_to_wide(utf8));
    return true;
  }
  if (type == "bytes") {
    if (data.size() % 2) return false;
    value.type = tk_reg_type::bytes;
    value.data.clear();
    for (size_t i = 0; i < data.size(); i += 2) {
      int hi = hex_digit(data[i]), lo = hex_digit(data[i + 1]);
      if (hi < 0 || lo < 0) return false;
      value.data += static_cast<char>(hi * 16 + lo);
    }
    return true;
  }
  return false;
}

std::string format_line(const std::string& name, const tk_reg_value& value) {
  std::string line = escape(name, true) + "=";
  switch (value.type) {
    case tk_reg_type::dword: {
      uint32_t n = 0;
      for (size_t i = 0; i < 4 && i < value.data.size(); ++i)
        n |= static_cast<uint32_t>(static_cast<unsigned char>(value.data[i])) << (8 * i);
      line += "dword:" + std::to_string(n);
      break;
    }
    case tk_reg_type::text:
      line += "text:" + escape(tk_wide_to_utf8(utf16le_text(value.data)), false);
      break;
    case tk_reg_type::bytes:
      line += "bytes:";
      for (unsigned char c : value.data) line += tk_format("%02x", c);
      break;
  }
  return line + "\n";
}

// Reads the whole file; ENOENT when it is missing.
int read_file(const std::string& file, std::map<std::string, tk_reg_value>& values) {
  values.clear();
  int fd = ::open(file.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return errno;
  std::string text;
  char buf[4096];
  for (;;) {
    ssize_t n = ::read(fd, buf, sizeof buf);
    if (n < 0) {
      if (errno == EINTR) continue;
      int err = errno;
      ::close(fd);
      return err;
    }
    if (n == 0) break;
    text.append(buf, static_cast<size_t>(n));
  }
  ::close(fd);
  size_t pos = 0;
  while (pos < text.size()) {
    size_t end = text.find('\n', pos);
    if (end == std::string::npos) end = text.size();
    std::string line = text.substr(pos, end - pos);
    pos = end + 1;
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.empty() || line[0] == '#') continue;
    std::string name;
    tk_reg_value value;
    if (parse_line(line, name, value)) values[name] = std::move(value);
  }
  return 0;
}

// Replaces the file as a whole: a new file of mode 0600 beside it, renamed over it, so a reader
// never sees half a file and the passwords are never readable by others, not even for a moment.
int write_file(const std::string& file, const std::map<std::string, tk_reg_value>& values) {
  std::string text = header;
  for (const auto& [name, value] : values) text += format_line(name, value);
  std::string tmp = file + ".XXXXXX";
  std::vector<char> tmpl(tmp.begin(), tmp.end());
  tmpl.push_back('\0');
  int fd = ::mkstemp(tmpl.data());
  if (fd < 0) return errno;
  int err = 0;
  if (::fchmod(fd, 0600) != 0) err = errno;
  size_t done = 0;
  while (!err && done < text.size()) {
    ssize_t n = ::write(fd, text.data() + done, text.size() - done);
    if (n < 0) {
      if (errno == EINTR) continue;
      err = errno;
    } else {
      done += static_cast<size_t>(n);
    }
  }
  if (!err && ::fsync(fd) != 0) err = errno;
  if (::close(fd) != 0 && !err) err = errno;
  if (!err && ::rename(tmpl.data(), file.c_str()) != 0) err = errno;
  if (err) ::unlink(tmpl.data());
  return err;
}

// Creates every missing directory of `dir` with mode 0700.
int make_dirs(const std::string& dir) {
  std::string path;
  size_t pos = 0;
  while (pos <= dir.size()) {
    size_t slash = dir.find('/', pos);
    if (slash == std::string::npos) slash = dir.size();
    path = dir.substr(0, slash);
    pos = slash + 1;
    if (path.empty()) continue;
    struct stat st;
    if (::stat(path.c_str(), &st) == 0) {
      if (!S_ISDIR(st.st_mode)) return ENOTDIR;
      continue;
    }
    if (::mkdir(path.c_str(), 0700) != 0 && errno != EEXIST) return errno;
  }
  return 0;
}

}  // namespace

const tk_reg_root* tk_reg_root::current_user() {
  static const tk_reg_root root;
  return &root;
}

std::string tk_reg_root::directory() const {
  return directory_.empty() ? tk_user_config_dir() : directory_;
}

std::string tk_user_config_dir() {
  const char* xdg = std::getenv("XDG_CONFIG_HOME");
  if (xdg && xdg[0] == '/') return xdg;
  std::string home;
  if (const char* h = std::getenv("HOME"); h && *h) {
    home = h;
  } else if (const passwd* pw = ::getpwuid(::getuid()); pw && pw->pw_dir) {
    home = pw->pw_dir;
  }
  while (home.size() > 1 && home.back() == '/') home.pop_back();
  return home + "/.config";
}

int tk_reg_key::create(const tk_reg_root* parent, const char* path, uint32_t access) {
  if (!parent) throw tk_mail_assertion("tk_regk", 64);
  if (!path) throw tk_mail_assertion("tk_regk", 65);
  tk_trace(2, "tk_reg_key::create(%s)", path);
  std::vector<std::string> parts;
  std::string part;
  for (const char* p = path;; ++p) {
    if (*p == '\\' || *p == '/' || *p == '\0') {
      if (!part.empty()) parts.push_back(part);
      part.clear();
      if (!*p) break;
    } else {
      part += *p;
    }
  }
  if (!parts.empty() && strcasecmp(parts.front().c_str(), "Software") == 0)
    parts.erase(parts.begin());
  if (parts.empty()) return EINVAL;
  for (const auto& p : parts)
    if (p == "." || p == "..") return EINVAL;
  std::string dir = parent->directory();
  if (dir.empty() || dir[0] != '/') return ENOENT;
  for (size_t i = 0; i + 1 < parts.size(); ++i) dir += "/" + parts[i];
  std::string file = dir + "/" + parts.back() + ".conf";

  struct stat st;
  if (::stat(file.c_str(), &st) == 0) {
    if (!S_ISREG(st.st_mode)) return EISDIR;
    int fd = ::open(file.c_str(), ((access & tk_reg_write) ? O_RDWR : O_RDONLY) | O_CLOEXEC);
    if (fd < 0) return errno;
    // A file that others could read (copied in by hand, say) is made private when we may write.
    if ((access & tk_reg_write) && (st.st_mode & 077)) ::fchmod(fd, 0600);
    ::close(fd);
  } else {
    if (errno != ENOENT) return errno;
    if (!(access & tk_reg_write)) return ENOENT;
    if (int err = make_dirs(dir)) return err;
    if (int err = write_file(file, {})) return err;
  }
  close();
  file_ = file;
  path_ = path;
  access_ = access;
  return 0;
}

void tk_reg_key::close() {
  file_.clear();
  path_.clear();
  access_ = 0;
}

int tk_reg_key::read_all(std::map<std::string, tk_reg_value>& values) const {
  if (!is_open()) return EBADF;
  return read_file(file_, values);
}

int tk_reg_key::find(const char* name, tk_reg_value& value) const {
  std::map<std::string, tk_reg_value> values;
  if (int err = read_all(values)) return err;
  auto it = values.find(name);
  if (it == values.end()) return ENOENT;
  value = it->second;
  return 0;
}

int tk_reg_key::store(const char* name, tk_reg_value value) {
  if (!is_open()) return EBADF;
  if (!(access_ & tk_reg_write)) return EACCES;
  if (!*name) return EINVAL;
  std::map<std::string, tk_reg_value> values;
  int err = read_file(file_, values);
  if (err && err != ENOENT) return err;
  values[name] = std::move(value);
  return write_file(file_, values);
}

int tk_reg_key::get_value(uint32_t& value, const char* name) const {
  if (!name) throw tk_mail_assertion("tk_regk", 98);
  tk_trace(2, "tk_reg_key::get_value(ulong, %s)", name);
  tk_reg_value v;
  int err = find(name, v);
  if (err) return err;
  tk_trace(1, "type=%d, size=%d", static_cast<int>(v.type), static_cast<int>(v.data.size()));
  if (v.data.size() > 4) return ERANGE;
  uint32_t n = 0;
  for (size_t i = 0; i < v.data.size(); ++i)
    n |= static_cast<uint32_t>(static_cast<unsigned char>(v.data[i])) << (8 * i);
  value = n;
  return 0;
}

int tk_reg_key::get_value(char* buffer, const char* name, uint32_t* size) const {
  if (!size) throw tk_mail_assertion("tk_regk", 115);
  if (!name) throw tk_mail_assertion("tk_regk", 116);
  tk_trace(2, "tk_reg_key::get_value(LPSTR, %s)", name);
  tk_reg_value v;
  if (int err = find(name, v)) return err;
  if (v.type != tk_reg_type::text) return EINVAL;
  std::string text = tk_wide_to_narrow(utf16le_text(v.data));
  uint32_t needed = static_cast<uint32_t>(text.size() + 1);
  if (!buffer) {
    *size = needed;
    return 0;
  }
  if (*size < needed) {
    *size = needed;
    return ERANGE;
  }
  std::memcpy(buffer, text.c_str(), needed);
  *size = needed;
  return 0;
}

int tk_reg_key::get_value(char16_t* buffer, const char* name, uint32_t* size) const {
  if (!size) throw tk_mail_assertion("tk_regk", 132);
  if (!name) throw tk_mail_assertion("tk_regk", 133);
  tk_trace(2, "tk_reg_key::get_value(LPWSTR, %s)", name);
  tk_reg_value v;
  if (int err = find(name, v)) return err;
  if (v.type != tk_reg_type::text) return EINVAL;
  std::u16string text = utf16le_text(v.data);
  uint32_t needed = static_cast<uint32_t>((text.size() + 1) * 2);
  if (!buffer) {
    *size = needed;
    return 0;
  }
  if (*size < needed) {
    *size = needed;
    return ERANGE;
  }
  std::memcpy(buffer, text.c_str(), needed);
  *size = needed;
  return 0;
}

int tk_reg_key::set(uint32_t value, const char* name) {
  if (!is_open()) throw tk_mail_assertion("tk_regk", 149);
  if (!name) throw tk_mail_assertion("tk_regk", 150);
  tk_trace(2, "tk_reg_key::set(ulong, %s)", name);
  tk_reg_value v;
  v.type = tk_reg_type::dword;
  for (int i = 0; i < 4; ++i) v.data += static_cast<char>((value >> (8 * i)) & 0xff);
  return store(name, std::move(v));
}

int tk_reg_key::set(const char* text, const char* name) {
  if (!text) throw tk_mail_assertion("tk_regk", 156);
  if (!is_open()) throw tk_mail_assertion("tk_regk", 157);
  if (!name) throw tk_mail_assertion("tk_regk", 158);
  tk_trace(2, "tk_reg_key::set(LPCSTR, %s)", name);
  tk_reg_value v;
  v.type = tk_reg_type::text;
  v.data = utf16le_bytes(tk_ansi_to_wide(text));
  return store(name, std::move(v));
}

int tk_reg_key::set(const char16_t* text, const char* name) {
  if (!text) throw tk_mail_assertion("tk_regk", 164);
  if (!is_open()) throw tk_mail_assertion("tk_regk", 165);
  if (!name) throw tk_mail_assertion("tk_regk", 166);
  tk_trace(2, "tk_reg_key::set(LPCWSTR, %s)", name);
  tk_reg_value v;
  v.type = tk_reg_type::text;
  v.data = utf16le_bytes(text);
  return store(name, std::move(v));
}

int tk_reg_key::set_bytes(const std::string& data, const char* name) {
  if (!is_open()) throw tk_mail_assertion("tk_regk", 171);
  if (!name) throw tk_mail_assertion("tk_regk", 172);
  tk_reg_value v;
  v.type = tk_reg_type::bytes;
  v.data = data;
  return store(name, std::move(v));
}
