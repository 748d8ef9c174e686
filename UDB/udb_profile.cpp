#include "udb_profile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <fstream>

#include "tk_exception.h"
#include "tk_fname.h"
#include "tk_log.h"
#include "tk_string.h"

namespace {

const char* missing_profile =
    "Profile does not exist. Please verify the correct path/name was given.";

// Writes all of `bytes`, retrying short writes.
bool write_all(int fd, const std::string& bytes) {
  size_t done = 0;
  while (done < bytes.size()) {
    ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    done += static_cast<size_t>(n);
  }
  return true;
}

// The file has no escaping, so a line break inside a key or value (a query typed on several
// lines) would end the line and turn the rest into keys of their own. Each break (CRLF, CR or LF)
// is written as one blank, which SQL reads as the same white space.
std::string one_line(const std::u16string& text) {
  std::u16string flat;
  flat.reserve(text.size());
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == u'\r' || text[i] == u'\n') {
      if (text[i] == u'\r' && i + 1 < text.size() && text[i + 1] == u'\n') ++i;
      flat += u' ';
    } else {
      flat += text[i];
    }
  }
  return tk_wide_to_utf8(flat);
}

}  // namespace

udb_profile::udb_profile() {
  sections_[udb_profile_keys::available_queries];
  sections_[udb_profile_keys::selected_tables];
  sections_[udb_profile_keys::generic_settings];
}

bool udb_profile::load(const std::u16string& path) {
  tk_wtrace(2, u"udb_profile::load(%s)", path);
  if (!tk_is_file_exist(path)) throw tk_exception(missing_profile, 1);
  std::ifstream in(tk_wide_to_narrow(path), std::ios::binary);
  if (!in) throw tk_exception(missing_profile, 1);

  bool sections_first = true;
  section_map* current = nullptr;
  std::string raw;
  bool first_line = true;
  while (std::getline(in, raw)) {
    // A line end read from the file is CRLF or LF; only a CR before the LF belongs to it.
    if (!in.eof() && !raw.empty() && raw.back() == '\r') raw.pop_back();
    if (first_line && raw.compare(0, 3, "\xEF\xBB\xBF") == 0) raw.erase(0, 3);
    first_line = false;

    std::u16string line = tk_trim(tk_utf8_to_wide(raw));
    if (line.empty()) continue;
    if (line.size() >= 2 && line.front() == u'[' && line.back() == u']') {
      current = &sections_[line.substr(1, line.size() - 2)];
      continue;
    }
    if (!current) {
      sections_first = false;
      continue;
    }
    size_t eq = line.find(u'=');
    if (eq == std::u16string::npos)
      current->emplace(line, std::u16string());
    else
      current->emplace(tk_trim(line.substr(0, eq)), line.substr(eq + 1));
  }
  return sections_first;
}

bool udb_profile::store(const std::u16string& path) const {
  tk_wtrace(2, u"udb_profile::store)");
  std::string bytes;
  for (const auto& [name, keys] : sections_) {
    bytes += "[" + one_line(name) + "]\r\n";
    const bool tables = name == udb_profile_keys::selected_tables;
    for (const auto& [key, value] : keys) {
      bytes += one_line(key);
      if (!tables || !value.empty()) bytes += "=" + one_line(value);
      bytes += "\r\n";
    }
  }

  const std::string file = tk_wide_to_narrow(path);
  // Truncation waits until the file is private, so a profile that cannot be secured is neither
  // exposed nor lost.
  int fd = ::open(file.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0600);
  if (fd < 0) {
    tk_trace(3, "Cannot open profile '%s' for writing: %s", file.c_str(), std::strerror(errno));
    return false;
  }
  bool ok = ::fchmod(fd, 0600) == 0 && ::ftruncate(fd, 0) == 0 && write_all(fd, bytes);
  int err = errno;
  if (::close(fd) != 0 && ok) {
    ok = false;
    err = errno;
  }
  if (!ok) tk_trace(3, "Cannot write profile '%s': %s", file.c_str(), std::strerror(err));
  return ok;
}

std::u16string udb_profile::get(const std::u16string& section, const std::u16string& key) const {
  auto s = sections_.find(section);
  if (s == sections_.end()) return {};
  auto k = s->second.find(key);
  return k == s->second.end() ? std::u16string() : k->second;
}

void udb_profile::set(const std::u16string& section, const std::u16string& key,
                      const std::u16string& value) {
  sections_[section].emplace(key, value);
}

bool udb_profile::get_switch(const std::u16string& section, const std::u16string& key,
                             udb_switch_rule rule, bool& value) const {
  std::u16string text = get(section, key);
  if (text.empty()) return false;
  value = rule == udb_switch_rule::not_zero ? text != u"0" : text == u"1";
  return true;
}

void udb_profile::set_switch(const std::u16string& section, const std::u16string& key, bool on) {
  set(section, key, on ? u"1" : u"0");
}

const udb_profile::section_map& udb_profile::section(const std::u16string& name) const {
  static const section_map none;
  auto s = sections_.find(name);
  return s == sections_.end() ? none : s->second;
}
