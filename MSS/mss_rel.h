// Foreign keys on the destination: one ALTER TABLE statement per key, with the table and column
// names the names map gives them and with the referential actions the server can take.
//
// MySQL writes a key's actions as one text that may hold both clauses ("ON DELETE RESTRICT ON
// UPDATE CASCADE"). The text is taken apart into its ON DELETE and ON UPDATE clauses; RESTRICT,
// which SQL Server does not know, is NO ACTION (what it means there too); each clause must be one
// of the allowed actions, and only the actions the server knows are written: NO ACTION and
// CASCADE from SQL Server 2000 on, SET NULL and SET DEFAULT from 2005 on, none before 2000.
//
// SQL Server refuses a cascading key that would close a cycle or open a second cascade path to a
// table (error 1785). Such a key is created again without its actions, and the user is told that
// it was; losing the whole key would be worse.
#pragma once

#include <functional>
#include <string>

#include "udb_names_map.h"
#include "udb_rel.h"

// The server refuses the actions of a key: they may cause cycles or multiple cascade paths.
inline constexpr int32_t mss_error_cascade_paths = 1785;

// True when `rules` (blanks at both ends ignored) is one of the eight allowed actions, "ON
// DELETE NO ACTION" to "ON UPDATE SET NULL", case ignored.
bool mss_is_valid_fk_props(const std::u16string& rules);

// The action clauses of `rules` that a server of `version_code` (mss_vers.h) takes, in the order
// they were written, upper case and separated by one blank ("ON DELETE NO ACTION ON UPDATE
// CASCADE"); empty when none is left. A clause that is not an allowed action is left out and
// traced, so is one the server does not know.
std::u16string mss_fk_actions(const std::u16string& rules, int version_code);

// "ALTER TABLE [T] ADD CONSTRAINT [key] FOREIGN KEY ([a], [b]) REFERENCES [R]([x], [y])", with T
// and R the mapped names of the key's tables and every column the mapped name in its table;
// " " + `actions` appended when they are not empty. A key without a name leaves the naming to the
// server (no CONSTRAINT clause).
std::u16string mss_fk_statement(const udb_relationship& key, const udb_names_map& names,
                                const std::u16string& actions);

// The text reported for a key the server took only without its actions.
std::string mss_fk_without_actions_text(const std::u16string& actions);

// Creates every key in list order through `execute`, each on its own: a failure is reported
// (mss_report.h) with "Foreign key '<name>'" as context and the next key is tried. A key over
// rows that break it is reported with the orphaned-records message; a key whose actions are
// refused with 1785 is created again without them and that is reported.
void mss_create_keys(const udb_relationships& keys, const udb_names_map& names, int version_code,
                     const std::function<void(const std::u16string& statement)>& execute);
