// A conversion profile: every setting of one conversion in a small sectioned text file, so that
// a conversion prepared in the wizard can be repeated or run by the agent.
//
// File format (UTF-8, no byte-order mark, CRLF line ends when written):
//   [section name]
//   key=value
// A value runs to the end of its line and may contain "="; there is no comment syntax, quoting or
// escaping. In "Selected Tables" a key with an empty value (a table, not a query) is written as
// the key alone. Sections are written in name order, each with its keys in name order, empty
// sections included. Keys and sections are compared code unit by code unit (case-sensitive).
// Passwords are kept in clear text for compatibility with stored profiles, so the file is
// written readable by its owner only.
#pragma once

#include <map>
#include <string>

// Section and key names of the file, shared by the parts of the driver that read and write them.
namespace udb_profile_keys {
inline constexpr const char16_t* available_queries = u"Available Queries";
inline constexpr const char16_t* selected_tables = u"Selected Tables";
inline constexpr const char16_t* generic_settings = u"Generic settings";
inline constexpr const char16_t* mysql_settings = u"MySQL settings";
inline constexpr const char16_t* mssql_settings = u"MS SQL Server settings";
}  // namespace udb_profile_keys

// How a switch is read from its text. Writers always write "1" or "0".
enum class udb_switch_rule {
  not_zero,     // on for every text except "0" ("only definitions", "skip indexes")
  exactly_one,  // on only for "1" (every other switch)
};

class udb_profile {
 public:
  using section_map = std::map<std::u16string, std::u16string>;

  // Holds the three empty sections "Available Queries", "Selected Tables" and "Generic settings".
  udb_profile();

  // Adds the sections and keys of the file to this profile; a key already present keeps its
  // value. Lines may be of any length; a leading byte-order mark is skipped. Answers false when a
  // key line comes before the first section line (that line is not stored); true otherwise.
  // A missing file raises tk_exception (level 1).
  bool load(const std::u16string& path);
  // Writes every section to `path`, replacing the file, each line break inside a name or value
  // written as a blank (the format has no escaping), with permissions 0600 (an existing file
  // is narrowed to them before anything is written). Raises nothing: a file that cannot be
  // opened, secured or written is traced and answers false, and an existing file that could not
  // be secured is left as it was.
  bool store(const std::u16string& path) const;

  // The value, or empty text when the section or the key is missing.
  std::u16string get(const std::u16string& section, const std::u16string& key) const;
  // Creates the section when needed; a key already present keeps its first value.
  void set(const std::u16string& section, const std::u16string& key, const std::u16string& value);

  // Reads a switch: when the value is missing or empty `value` is left alone and the answer is
  // false; otherwise `value` is set by the rule and the answer is true.
  bool get_switch(const std::u16string& section, const std::u16string& key, udb_switch_rule rule,
                  bool& value) const;
  // Sets "1" or "0" (with set's rule for a key already present).
  void set_switch(const std::u16string& section, const std::u16string& key, bool on);

  // The keys of one section; an empty map when the section is missing.
  const section_map& section(const std::u16string& name) const;
  const std::map<std::u16string, section_map>& sections() const { return sections_; }

 private:
  std::map<std::u16string, section_map> sections_;
};
