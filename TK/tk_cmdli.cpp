#include "tk_cmdli.h"

#include <cstring>

#include "tk_exception.h"
#include "tk_log.h"

tk_cmdli::tk_cmdli(int argc, const char* const* argv, const tk_cmd_option* options)
    : options_(options), cursor_(argv ? argv + 1 : nullptr), remaining_(argc > 1 ? argc - 1 : 0) {
  if (!options) throw tk_mail_assertion("tk_cmdli", 23);
  if (remaining_ > 0 && !argv) throw tk_mail_assertion("tk_cmdli", 24);
  if (remaining_ > 0) match();
}

int tk_cmdli::id() const {
  if (remaining_ <= 0) throw tk_mail_assertion("tk_cmdli", 31);
  return id_;
}

const char* tk_cmdli::value() const {
  if (remaining_ <= 0) throw tk_mail_assertion("../..\\TK/tk_cmdli", 37);
  return value_;
}

void tk_cmdli::next() {
  if (remaining_ <= 0) throw tk_mail_assertion("tk_cmdli", 43);
  ++cursor_;
  if (--remaining_ > 0) match();
}

void tk_cmdli::match() {
  const char* arg = *cursor_ ? *cursor_ : "";
  for (const tk_cmd_option* o = options_;; ++o) {
    size_t n = std::strlen(o->text);
    if (std::strncmp(arg, o->text, n) != 0) continue;
    if (n == 0) {  // the table's end: nothing matched
      if (static_cast<int>(unrecognised_.size()) >= max_unrecognised)
        throw tk_mail_assertion("..\\TK/tk_cmdli", 52);
      unrecognised_.push_back(arg);
      id_ = -1;
      value_ = arg + n;
      return;
    }
    id_ = o->id;
    value_ = arg + n;
    return;
  }
}
