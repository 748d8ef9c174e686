// What a run asks of the two servers, apart from the database and recordset interfaces: opening
// the source, testing, opening, creating and dropping the destination, and the facts the
// destination learnt when it connected. The driver serves these from its two engines; tests put
// in-memory servers in their place.
#pragma once

#include <memory>
#include <string>

class udb_database;

class conversion_servers {
 public:
  virtual ~conversion_servers() = default;

  // The source database; open mode 1 lists its tables, 33 also asks for its views.
  virtual std::unique_ptr<udb_database> open_source(const std::u16string& name, int mode) = 0;
  // Whether the source returns BLOB columns as text.
  virtual void set_blob_to_text(bool on) = 0;

  virtual bool dest_exists(const std::u16string& name) = 0;
  // flags 4: an existing database; 8: one whose existing tables are appended to.
  virtual std::unique_ptr<udb_database> open_dest(const std::u16string& name, int flags) = 0;
  // Creates the database and opens it (flags 2).
  virtual std::unique_ptr<udb_database> create_dest(const std::u16string& name) = 0;
  virtual void drop_dest(const std::u16string& name) = 0;
  // The destination's version code (3 stands for the 2000 server; below 3 has no 64-bit integer).
  virtual int dest_version() = 0;
  // Whether the destination accepted the fast-load path when it connected.
  virtual bool dest_fast_load() = 0;
  // Tells an opened destination database whether the next table may use the fast-load path.
  virtual void enable_fast_load(udb_database& dest, bool on) = 0;
};
