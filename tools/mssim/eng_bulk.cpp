// insert bulk and the BULK LOAD message that follows it. The rows of one message are one unit:
// all are stored or none. In sink mode they are converted and checked like stored rows, then
// counted and dropped.
#include "eng_types.h"
#include "eng_util.h"
#include "eng_write.h"

namespace mssim {

void session::impl::exec_insert_bulk(insert_bulk_statement& s) {
  bulk_drop();
  mssim::database& d = *db;
  mssim::database* in = nullptr;
  object_info* t = find_object(s.table, in);
  if (!t || t->kind != 'U') throw sql_error(208, {s.table.text});
  if (in != &d)
    throw sql_error(50000, {u"The stand-in does not support references to other databases ('" +
                            s.table.text + u"')."});
  bulk_state b;
  for (auto& p : eng.all_dbs())
    if (p.get() == in) b.db = p;
  b.object_id = t->id;
  if (s.cols.empty()) {
    for (size_t i = 0; i < t->cols.size(); ++i)
      if (!t->cols[i].type.identity) b.positions.push_back(int(i));
  } else {
    for (const auto& c : s.cols) {
      int p = t->find_col(c.name);
      if (p < 0) throw sql_error(207, {c.name});
      // The declared type must at least be a type SQL Server knows.
      resolve_type(c.type_name, c.type_args, int(b.positions.size() + 1), c.name);
      b.positions.push_back(p);
    }
  }
  for (int p : b.positions) {
    column c;
    c.name = t->cols[size_t(p)].name;
    c.type = t->cols[size_t(p)].type;
    c.table = t->name;
    b.cols.push_back(std::move(c));
  }
  for (const std::u16string& h : s.hints) {
    std::u16string key = h.substr(0, h.find(u'='));
    if (key == u"KEEP_NULLS")
      b.keep_nulls = true;
    else if (key == u"CHECK_CONSTRAINTS")
      b.check_constraints = true;
    else if (key == u"TABLOCK" || key == u"FIRE_TRIGGERS" || key == u"KEEP_IDENTITY" ||
             key == u"ROWS_PER_BATCH" || key == u"KILOBYTES_PER_BATCH" || key == u"ORDER" ||
             key == u"ALLOW_ENCRYPTED_VALUE_MODIFICATIONS")
      continue;
    else
      throw sql_error(102, {h});
  }
  b.pending = true;
  bulk = std::move(b);
  emit_done(0, false);
}

void session::impl::bulk_add_row(const std::vector<value>& row) {
  bulk_state& b = bulk;
  if (!b.pending || b.failed) return;
  try {
    if (!b.started) {
      object_info* t = b.db->cat.by_id(b.object_id);
      if (!t) throw sql_error(4891, {});
      b.scope = std::make_shared<statement_scope>(*this, *b.db, true);
      b.writer = std::make_shared<row_writer>(*this, *b.db, *t, b.positions);
      b.writer->bulk = true;
      b.writer->keep_nulls = b.keep_nulls;
      b.writer->check_fks = b.check_constraints;
      b.writer->check_checks = b.check_constraints;
      b.writer->sink = eng.opts.sink;
      b.started = true;
    }
    std::vector<type_desc> types;
    types.reserve(row.size());
    for (const value& v : row) types.push_back(write::natural_type(v));
    b.writer->add(row, types);
    ++b.rows;
  } catch (const sql_error& e) {
    b.failed = true;
    b.error = e;
  } catch (const cancel_signal&) {
    b.failed = true;
    b.error = sql_error(3621, {});
  }
}

void session::impl::bulk_finish(std::vector<item>& sink) {
  std::vector<item>* saved = out;
  out = &sink;
  bulk_state& b = bulk;
  if (!b.pending) {
    out = saved;
    return;
  }
  bool failed = b.failed;
  sql_error err = b.error;
  int64_t rows = b.rows;
  if (!failed && b.started) {
    try {
      b.writer->finish();
      b.scope->commit();
    } catch (const sql_error& e) {
      failed = true;
      err = e;
    }
  }
  bulk_drop();
  if (failed) {
    emit_error(err);
    if (err.terminated) emit_info(3621, {});
    emit_done(0, false, true);
  } else {
    last_rowcount = rows;
    item it;
    it.what = item::done;
    it.count = rows;
    it.has_count = true;
    out->push_back(std::move(it));
  }
  out = saved;
}

void session::impl::bulk_drop() {
  bulk.writer.reset();
  bulk.scope.reset();  // rolls back what the message stored so far
  bulk = bulk_state();
}

}  // namespace mssim
