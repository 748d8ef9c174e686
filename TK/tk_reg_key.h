// The per-user settings store and one open key of it. The store stands where a desktop platform
// keeps per-user program settings: a key path such as "Software\Quillon\Tarvex" is one file,
// $XDG_CONFIG_HOME/Quillon/Tarvex.conf ($HOME/.config when the variable is unset, empty or not an
// absolute path). The file is written with permissions 0600, its directories with 0700, because
// it may hold passwords.
//
// A key holds named values of three types: a 32-bit number, a text (kept as UTF-16 with its
// terminating zero, the same bytes whichever text call wrote it) and raw bytes. Every call reads
// or rewrites the file at once, so a value written is on disk when the call returns, and a
// failure costs nothing but that call. All calls answer an errno-style code, 0 for success:
// ENOENT for a value that is not there, ERANGE for a value that does not fit the buffer or the
// type, EINVAL for a value that is no text, EBADF when no key is open, EACCES for a write on a
// key opened for reading only, and the system's code when a file cannot be read or written.
#pragma once

#include <cstdint>
#include <map>
#include <string>

// Where keys live. The default root resolves the user's configuration directory each time a key
// is opened; a root with an explicit directory serves tests and tools.
class tk_reg_root {
 public:
  tk_reg_root() = default;
  explicit tk_reg_root(std::string directory) : directory_(std::move(directory)) {}

  static const tk_reg_root* current_user();
  std::string directory() const;

 private:
  std::string directory_;
};

// The user's configuration directory by the rule above (no trailing slash).
std::string tk_user_config_dir();

enum tk_reg_access : uint32_t { tk_reg_read = 1, tk_reg_write = 2, tk_reg_all = 3 };

enum class tk_reg_type : uint8_t { dword, text, bytes };

struct tk_reg_value {
  tk_reg_type type = tk_reg_type::bytes;
  std::string data;  // dword: 4 bytes little-endian; text: UTF-16LE with a terminating zero
};

class tk_reg_key {
 public:
  tk_reg_key() = default;
  tk_reg_key(const tk_reg_key&) = delete;
  tk_reg_key& operator=(const tk_reg_key&) = delete;
  ~tk_reg_key() { close(); }

  // Opens the key under `parent`, creating its file (and directories) when it is missing. A key
  // already held is given up only when the new one opened. The path's components are separated
  // by backslashes; a leading "Software" component is dropped, and "." or ".." components are
  // refused (EINVAL). A null parent is a defect.
  int create(const tk_reg_root* parent, const char* path, uint32_t access = tk_reg_all);
  void close();
  bool is_open() const { return !file_.empty(); }
  // The file that stands for the open key (empty when none).
  const std::string& file_name() const { return file_; }

  // A number: the first four bytes of whatever is stored, when it is four bytes or fewer (fewer
  // are padded with zeros); longer data does not fit (ERANGE).
  int get_value(uint32_t& value, const char* name) const;
  // A text in the ANSI code page (resp. UTF-16). `size` is the buffer's size in bytes on entry
  // and the size of the value with its terminating zero on return; a null buffer asks only for
  // the size; a buffer that is too small receives nothing (ERANGE).
  int get_value(char* buffer, const char* name, uint32_t* size) const;
  int get_value(char16_t* buffer, const char* name, uint32_t* size) const;

  int set(uint32_t value, const char* name);
  int set(const char* text, const char* name);
  int set(const char16_t* text, const char* name);
  // Raw bytes; the text and number setters cover the program's own values.
  int set_bytes(const std::string& data, const char* name);

  // The values of the file as they are now; for tools and tests.
  int read_all(std::map<std::string, tk_reg_value>& values) const;

 private:
  int find(const char* name, tk_reg_value& value) const;
  int store(const char* name, tk_reg_value value);

  std::string file_;
  std::string path_;
  uint32_t access_ = 0;
};
