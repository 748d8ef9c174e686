// Sakila through the reader, checked against the server's own catalogue and against checksums
// the server computes: the base tables, the views, the foreign keys, every row of every table.
// Reading changes nothing on the server.
#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <set>

#include "sql_live_support.h"
#include "sql_recordset.h"
#include "tk_string.h"

namespace {

enum class canon { number, text, date };

// How a column is put into the row text that both sides checksum.
canon canon_of(const std::string& data_type) {
  static const std::set<std::string> numbers = {"tinyint", "smallint", "mediumint", "int",
                                                "bigint",  "year",     "decimal",   "bit"};
  static const std::set<std::string> dates = {"date", "datetime", "timestamp"};
  if (numbers.count(data_type)) return canon::number;
  if (dates.count(data_type)) return canon::date;
  static const std::set<std::string> texts = {
      "char",     "varchar",  "tinytext", "text",       "mediumtext", "longtext", "enum",
      "set",      "json",     "binary",   "varbinary",  "tinyblob",   "blob",     "mediumblob",
      "longblob", "geometry", "point",    "linestring", "polygon"};
  if (texts.count(data_type)) return canon::text;
  ADD_FAILURE() << "no checksum form for type " << data_type;
  return canon::text;
}

std::string server_expr(const std::string& column, const std::string& data_type) {
  std::string q = "`" + column + "`";
  switch (canon_of(data_type)) {
    case canon::number:
      return "CAST(" + q + (data_type == "bit" ? "+0" : "") + " AS CHAR)";
    case canon::date:
      return "DATE_FORMAT(" + q + ", '%Y%m%d%H%i%s')";
    case canon::text:
      break;
  }
  return "HEX(" + q + ")";
}

std::string client_text(const udb_field& f, canon how) {
  if (f.get_type() == VT_EMPTY) return "\\N";
  switch (how) {
    case canon::number:
      return f.to_string();
    case canon::date: {
      SYSTEMTIME t = f.get_systemtime();
      char buf[32];
      std::snprintf(buf, sizeof buf, "%04d%02d%02d%02d%02d%02d", t.wYear, t.wMonth, t.wDay, t.wHour,
                    t.wMinute, t.wSecond);
      return buf;
    }
    case canon::text:
      break;
  }
  return hex_of(bytes_of(f));
}

std::map<std::string, std::string> table_checksums(live_root& root) {
  std::map<std::string, std::string> out;
  for (const live_row& r : root.rows("CHECKSUM TABLE sakila.actor, sakila.address, "
                                     "sakila.category, sakila.city, sakila.country, "
                                     "sakila.customer, sakila.film, sakila.film_actor, "
                                     "sakila.film_category, sakila.film_text, sakila.inventory, "
                                     "sakila.language, sakila.payment, sakila.rental, "
                                     "sakila.staff, sakila.store")) {
    out[*r[0]] = r[1].value_or("NULL");
  }
  return out;
}

TEST(sql_live_sakila, tables_views_keys_and_every_row) {
  const mdb_server& s = mdb_shared_server();
  live_root root(s);
  std::map<std::string, std::string> before = table_checksums(root);

  live_reader reader(s);
  auto db = reader.open(u"sakila", 33);

  // Base tables: exactly those of the catalogue, views excluded.
  std::vector<std::string> expected_tables = root.column(
      "SELECT table_name FROM information_schema.tables WHERE table_schema='sakila' "
      "AND table_type='BASE TABLE' ORDER BY table_name");
  std::vector<std::string> tables;
  for (const auto& t : db->tables) tables.push_back(u8(t));
  std::sort(tables.begin(), tables.end());
  EXPECT_EQ(tables, expected_tables);
  EXPECT_EQ(tables.size(), 16u);

  // Views: all of them, without the database qualifier and without a closing ORDER BY.
  std::vector<std::string> expected_views = root.column(
      "SELECT table_name FROM information_schema.views WHERE table_schema='sakila' "
      "ORDER BY table_name");
  std::vector<std::string> views;
  for (const auto& [name, text] : db->views) {
    views.push_back(u8(name));
    EXPECT_EQ(u8(text).find("`sakila`."), std::string::npos) << u8(name);
    EXPECT_FALSE(text.empty()) << u8(name);
  }
  EXPECT_EQ(views, expected_views);
  std::string by_store = u8(db->views.at(u"sales_by_store"));
  EXPECT_EQ(by_store.find("order by"), std::string::npos) << by_store;
  EXPECT_NE(by_store.find("group by"), std::string::npos) << by_store;

  // Every row of every table: the count, and the sum of per-row CRC32s of the values, as the
  // server computes them.
  for (const std::string& table : tables) {
    std::vector<live_row> cols = root.rows(
        "SELECT column_name, data_type FROM information_schema.columns WHERE "
        "table_schema='sakila' AND table_name='" +
        table + "' ORDER BY ordinal_position");
    std::string concat;
    std::vector<canon> how;
    for (const live_row& c : cols) {
      concat += (concat.empty() ? "" : ", ") + std::string("IFNULL(") + server_expr(*c[0], *c[1]) +
                ", '\\\\N')";
      how.push_back(canon_of(*c[1]));
    }
    live_row sums = root.rows("SELECT COUNT(*), IFNULL(SUM(CRC32(CONCAT_WS('|', " + concat +
                              "))), 0) FROM sakila.`" + table + "`")[0];

    auto t = db->get_table(tk_utf8_to_wide(table), 1);
    ASSERT_EQ(t->schema.size(), cols.size()) << table;
    EXPECT_EQ(std::to_string(t->record_count), *sums[0]) << table;
    uint64_t sum = 0, rows = 0;
    for (t->reset(); !t->is_eof(); t->next()) {
      const udb_record& r = t->get_item();
      std::string text;
      for (size_t i = 0; i < r.size(); ++i) {
        if (i) text += '|';
        text += client_text(r[i], how[i]);
      }
      sum += crc32_of(text);
      ++rows;
    }
    EXPECT_EQ(std::to_string(rows), *sums[0]) << table;
    EXPECT_EQ(std::to_string(sum), *sums[1]) << table;
  }

  // Foreign keys: those of the catalogue, columns in order, rules as declared.
  std::vector<live_row> fks = root.rows(
      "SELECT constraint_name, table_name, referenced_table_name, update_rule, delete_rule "
      "FROM information_schema.referential_constraints WHERE constraint_schema='sakila'");
  ASSERT_EQ(db->relationships.size(), fks.size());
  for (const live_row& fk : fks) {
    const udb_relationship& key = db->relationships.get_index(tk_utf8_to_wide(*fk[0]));
    EXPECT_EQ(u8(key.table), *fk[1]) << *fk[0];
    EXPECT_EQ(u8(key.ref_table), *fk[2]) << *fk[0];
    std::vector<live_row> cols = root.rows(
        "SELECT column_name, referenced_column_name FROM information_schema.key_column_usage "
        "WHERE constraint_schema='sakila' AND constraint_name='" +
        *fk[0] + "' ORDER BY ordinal_position");
    ASSERT_EQ(key.fields.size(), cols.size()) << *fk[0];
    for (size_t i = 0; i < cols.size(); ++i) {
      EXPECT_EQ(u8(key.fields[i]), *cols[i][0]) << *fk[0];
      EXPECT_EQ(u8(key.ref_fields[i]), *cols[i][1]) << *fk[0];
    }
    std::string rules = u8(key.rules);
    for (auto [clause, rule] : {std::pair{"ON UPDATE ", *fk[3]}, std::pair{"ON DELETE ", *fk[4]}}) {
      if (rule != "RESTRICT") {
        EXPECT_NE(rules.find(clause + rule), std::string::npos) << *fk[0] << ": " << rules;
      }
    }
  }

  // The reader left the server as it found it.
  EXPECT_EQ(table_checksums(root), before);
}

}  // namespace
