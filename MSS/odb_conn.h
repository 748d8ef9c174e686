// The data source and the session: the destination's connection to one server and database.
//
// A data source is created from the pieces of a connection string and contacts the server when
// it is initialised. Its statements run on ODBC connections ("links"). One link carries one
// statement's results at a time; while a rowset's rows are still pending on the first link, a
// further statement would be refused by the driver, so the data source opens another link with
// the same connection string for it, as the SQL Server provider opens an implicit connection for
// a session whose connection is busy. Statements without pending results always run on the first
// link, so session settings (SET IDENTITY_INSERT and the like) and the writes they govern share
// one server session.
//
// Sessions and statements share ownership of their data source (std::shared_ptr), which stands
// for the provider's reference counting: a data source lives as long as anything made from it.
// Used by one thread at a time.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "odb_cstr.h"
#include "odb_hndl.h"

class odb_link {
 public:
  odb_handle dbc;
  // The rowset whose results are pending on this link; null when the link is free.
  const void* busy_with = nullptr;
};

class odb_data_source {
 public:
  // Prepares the driver manager's environment; the server is not contacted yet. Raises
  // odb_exception when the driver manager cannot be used.
  explicit odb_data_source(const odb_connect_spec& spec);
  odb_data_source(const odb_data_source&) = delete;
  odb_data_source& operator=(const odb_data_source&) = delete;
  ~odb_data_source();

  // Opens the first link: this is where the server is contacted and the credentials verified.
  // Raises odb_exception with the driver's records on failure.
  void initialize();
  bool initialized() const { return !links_.empty(); }

  // Switches the driver's bulk copy on or off for this data source; links opened later inherit
  // the setting. False when the driver refused it; the setting is then unchanged.
  bool set_bulk_copy(bool on);
  bool bulk_copy() const { return bulk_copy_; }

  // A link on which a statement can run now (see above). The data source must be initialised.
  odb_link& free_link();
  // The first link: the one bulk copy and session settings use.
  odb_link& primary_link();
  size_t link_count() const { return links_.size(); }

  const odb_connect_spec& spec() const { return spec_; }

 private:
  std::unique_ptr<odb_link> open_link();

  odb_connect_spec spec_;
  std::u16string odbc_text_;
  odb_handle env_;
  std::vector<std::unique_ptr<odb_link>> links_;
  bool bulk_copy_ = false;
};

// A session on a data source: what commands, tables and schema rowsets are made from.
class odb_session {
 public:
  odb_session() = default;
  explicit odb_session(std::shared_ptr<odb_data_source> data_source)
      : data_source_(std::move(data_source)) {}

  explicit operator bool() const { return data_source_ != nullptr; }
  odb_data_source& data_source() const { return *data_source_; }
  const std::shared_ptr<odb_data_source>& shared_data_source() const { return data_source_; }

 private:
  std::shared_ptr<odb_data_source> data_source_;
};
