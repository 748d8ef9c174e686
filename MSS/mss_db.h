// A destination database opened by the engine: the owner its tables belong to, the list of the
// owner's tables and views, the tables read by name or query, and the foreign keys and views
// created after the tables.
#pragma once

#include <memory>
#include <string>

#include "odb_db.h"

class mss_database : public odb_database {
 public:
  // Takes its own share of the data source and session. Reads the owner's table list.
  mss_database(const std::u16string& name, std::shared_ptr<odb_data_source> data_source,
               const odb_session& session, int32_t flags);
  ~mss_database() noexcept(false) override;

  // Creates the table and its indexes and returns it opened for appending (defined with the
  // table writer, mss_dbcrt.cpp).
  std::unique_ptr<udb_recordset> create_table(const std::u16string& name, const udb_schema& fields,
                                              const udb_indexes& indexes) override;
  // Drops the table and removes it from the list.
  void delete_tab(const std::u16string& name) override;
  // The table under its owner-qualified name (mss_engine::get_safe_tname).
  std::unique_ptr<udb_recordset> get_table(const std::u16string& name, int32_t flags) override;
  std::unique_ptr<udb_recordset> get_table(const std::u16string& name, const std::u16string& query,
                                           int32_t flags) override;

  // Creates the views after the tables, each on its own (mss_views.cpp).
  void create_views(const udb_views& views) override;
  // Creates the foreign keys after the tables, each on its own; none for a database opened for
  // appending (mss_rel.cpp).
  void create_relationships(const udb_relationships& keys) override;
  // True when `rules` is one of the allowed referential actions (see mss_rel.h).
  static bool is_valid_fk_props(const std::u16string& rules);
  // The T-SQL text of a MySQL view text, through this database's names map (see mss_views.h).
  std::u16string refine_view(const std::u16string& text) const;

  // The login's user name, or dbo when there is none or connect-as-dbo is on.
  const std::u16string& owner() const { return owner_; }

 private:
  void init_tables(const odb_session& session, const std::u16string& owner);
  // The owner's views on the server into `views` (mss_views.cpp).
  void init_views(const odb_session& session, const std::u16string& owner);

  std::u16string owner_;
};
