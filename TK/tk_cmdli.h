// The command-line scanner. Each argument is matched against an option table: the first entry
// whose text begins the argument wins, and the rest of the argument is its value. The table ends
// with an entry of empty text (a prefix of everything), so reaching it means "no match": the
// identifier is then -1 and the argument is counted as unrecognised.
//
// The scanner stands on the current argument: it matches the first one when built, and `next`
// moves on to the following one. Typical use:
//   for (tk_cmdli cl(argc, argv, table); cl.has_more(); cl.next()) switch (cl.id()) { ... }
#pragma once

#include <string>
#include <vector>

struct tk_cmd_option {
  int id;
  const char* text;
};

class tk_cmdli {
 public:
  // Room for this many unrecognised arguments; one more is a defect of the caller.
  static constexpr int max_unrecognised = 20;

  // `options` ends with an entry whose text is empty; argv[0] (the program) is not scanned.
  tk_cmdli(int argc, const char* const* argv, const tk_cmd_option* options);

  bool has_more() const { return remaining_ > 0; }
  // The identifier of the current argument's option, -1 when it matched none.
  int id() const;
  // The text after the matched option text (possibly empty).
  const char* value() const;
  void next();

  int unrecognised_count() const { return static_cast<int>(unrecognised_.size()); }
  const std::vector<std::string>& unrecognised() const { return unrecognised_; }

 private:
  void match();

  const tk_cmd_option* options_;
  const char* const* cursor_;
  int remaining_;
  int id_ = -1;
  const char* value_ = nullptr;
  std::vector<std::string> unrecognised_;
};
