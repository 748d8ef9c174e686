// Destination name rules. Every identifier the destination writes is bracketed, so a name needs
// no character replaced and no length enforced: it must begin with a letter or "_", and it must
// not collide with a name already taken. The splitter takes bracketed owner-qualified names
// apart.
#pragma once

#include <string>
#include <vector>

#include "udb_validator.h"

class mss_validator : public udb_validator {
 public:
  mss_validator();

  // The base checks (they accept every name under these settings), then the first character:
  // a letter of any alphabet or "_". An empty name is a defect (tk_mail_assertion).
  bool is_acceptable(const std::u16string& name) override;
  // `name` itself when it is not in use; otherwise prefixed from the cycle "_", "1", "_", "2",
  // "_", "3" until it is free: "_" + name, then "1_" + name, then "_1_" + name, ... Never
  // replaces a character, whether or not the name is acceptable.
  std::u16string get_safe_name(const std::u16string& name) override;
};

// The table-name validator (also used for view names): the names in use are both lists.
class mss_tn_validator : public mss_validator {
 public:
  mss_tn_validator(const std::vector<std::u16string>& first,
                   const std::vector<std::u16string>& second);
};

// True for a bracketed name of at least three characters: "[owner].[table]" gives both parts,
// "[table]" an empty owner. The parts are names: a "]]" inside the brackets is one "]" (the form
// mss_bracket writes); any other bracket inside a part stays in it. Otherwise false, and the
// outputs are left alone.
bool mss_split_tab_name(const std::u16string& name, std::u16string& table, std::u16string& owner);

// `name` in brackets with every "]" doubled: the form in which the destination writes a name.
std::u16string mss_bracket(const std::u16string& name);
// `text` as a T-SQL string literal body: every "'" doubled (the caller adds the quotes).
std::u16string mss_escape_literal(const std::u16string& text);
