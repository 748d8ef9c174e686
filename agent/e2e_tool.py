#!/usr/bin/python3
"""Looks at both ends of a migration for the agent's live tests, with clients the product does
not use: the MariaDB command-line client on the source and pytds on the stand-in.

  e2e_tool.py compare   SRC_ENV SRC_DB MS_PORT MS_PASSWORD DEST_DB [TABLE...]
      one line per source table: "<table> <source rows> <dest rows> <checksum ok|DIFFERS|missing>"
      The checksum is an MD5 per row over a canonical text of every value (numbers in decimal,
      dates as text, binary values in hex, NULL as a marker), compared as multisets.
  e2e_tool.py keys      SRC_ENV SRC_DB MS_PORT MS_PASSWORD DEST_DB [TABLE...]
      one line per table: "<table> pk <ok|DIFFERS> indexes <found>/<expected> [missing...]"
  e2e_tool.py sql       MS_PORT MS_PASSWORD DB STATEMENT
      runs one statement on the stand-in; prints the rows of a result, tab-separated.

SRC_ENV is the server.env file of the private MariaDB (MDB_* lines).
"""
import hashlib
import subprocess
import sys

import pytds

NULL = "\x01NULL"
SEP = "\x1f"


def read_env(path):
    env = {}
    for line in open(path, encoding="utf-8"):
        if "=" in line:
            k, v = line.rstrip("\n").split("=", 1)
            env[k] = v
    return env


def mariadb(env, sql):
    out = subprocess.run(
        ["mariadb", "--no-defaults", "-h", env["MDB_HOST"], "-P", env["MDB_PORT"],
         "-u", env["MDB_ROOT_USER"], "-p" + env["MDB_ROOT_PASSWORD"], "-N", "-B", "--raw",
         "--default-character-set=utf8mb4", "-e", sql],
        check=True, capture_output=True).stdout.decode("utf-8")
    return [line.split("\t") for line in out.split("\n") if line != ""]


def stand_in(port, password, db):
    return pytds.connect(server="127.0.0.1", port=int(port), user="sa", password=password,
                         database=db, autocommit=True)


def q(name):
    return "[" + name.replace("]", "]]") + "]"


def columns(env, db, table):
    return mariadb(env, "SELECT column_name, data_type FROM information_schema.columns "
                        "WHERE table_schema='%s' AND table_name='%s' ORDER BY ordinal_position"
                   % (db, table))


KIND = {}
for t in ("tinyint", "smallint", "mediumint", "int", "bigint", "decimal"):
    KIND[t] = "number"
for t in ("float", "double"):
    KIND[t] = "float"
for t in ("char",):
    KIND[t] = "char"
for t in ("varchar", "tinytext", "text", "mediumtext", "longtext", "enum", "set", "json"):
    KIND[t] = "text"
for t in ("binary", "varbinary", "tinyblob", "blob", "mediumblob", "longblob", "geometry",
          "point", "linestring", "polygon", "bit"):
    KIND[t] = "binary"
KIND.update({"date": "date", "datetime": "datetime", "timestamp": "datetime", "time": "time",
             "year": "number"})


def source_expr(name, data_type):
    c = "`" + name.replace("`", "``") + "`"
    kind = KIND.get(data_type, "text")
    if kind in ("number", "float"):
        e = "CAST(%s AS CHAR)" % c
    elif kind == "date":
        e = "DATE_FORMAT(%s, '%%Y-%%m-%%d')" % c
    elif kind == "datetime":
        e = "DATE_FORMAT(%s, '%%Y-%%m-%%d %%H:%%i:%%s')" % c
    elif kind == "time":
        e = "TIME_FORMAT(%s, '%%H:%%i:%%s')" % c
    elif kind == "binary":
        e = "HEX(%s)" % c
    else:
        e = c
    return "IFNULL(%s, CONCAT(CHAR(1), 'NULL'))" % e


def dest_text(value, kind):
    if value is None:
        return NULL
    if kind == "number":
        if isinstance(value, bool):
            return "1" if value else "0"
        if hasattr(value, "year") and not isinstance(value, (int, float)):
            return str(value.year)
        return str(value)
    if kind == "float":
        return "%.15g" % value
    if kind == "date":
        return value.strftime("%Y-%m-%d")
    if kind == "datetime":
        return value.strftime("%Y-%m-%d %H:%M:%S")
    if kind == "time":
        return value.strftime("%H:%M:%S")
    if kind == "binary":
        if isinstance(value, str):
            return value.encode("utf-8").hex().upper()
        return bytes(value).hex().upper()
    if kind == "char":
        return str(value).rstrip(" ")
    return str(value)


def source_tables(env, db, wanted):
    rows = mariadb(env, "SELECT table_name FROM information_schema.tables WHERE table_schema='%s'"
                        " AND table_type='BASE TABLE' ORDER BY table_name" % db)
    names = [r[0] for r in rows]
    return [n for n in names if not wanted or n in wanted]


def compare(args):
    env = read_env(args[0])
    src_db, port, password, dest_db = args[1], args[2], args[3], args[4]
    tables = source_tables(env, src_db, set(args[5:]))
    bad = 0
    with stand_in(port, password, dest_db) as conn:
        cur = conn.cursor()
        cur.execute("SELECT TABLE_NAME FROM INFORMATION_SCHEMA.TABLES")
        present = {r[0].lower() for r in cur.fetchall()}
        for t in tables:
            cols = columns(env, src_db, t)
            exprs = ", ".join(source_expr(n, d) for n, d in cols)
            src = sorted(r[0] for r in mariadb(
                env, "SELECT MD5(CONCAT_WS(CHAR(31), %s)) FROM `%s`.`%s`" % (exprs, src_db, t)))
            if t.lower() not in present:
                print(t, len(src), 0, "missing")
                bad += 1
                continue
            cur.execute("SELECT %s FROM %s" % (", ".join(q(n) for n, _ in cols), q(t)))
            kinds = [KIND.get(d, "text") for _, d in cols]
            dst = sorted(hashlib.md5(SEP.join(dest_text(v, k) for v, k in zip(row, kinds))
                                     .encode("utf-8")).hexdigest() for row in cur.fetchall())
            ok = "ok" if src == dst else "DIFFERS"
            bad += ok != "ok"
            print(t, len(src), len(dst), ok)
    return 1 if bad else 0


def keys(args):
    env = read_env(args[0])
    src_db, port, password, dest_db = args[1], args[2], args[3], args[4]
    tables = source_tables(env, src_db, set(args[5:]))
    bad = 0
    with stand_in(port, password, dest_db) as conn:
        cur = conn.cursor()
        for t in tables:
            idx = {}
            for name, col, seq in mariadb(
                    env, "SELECT index_name, column_name, seq_in_index FROM "
                         "information_schema.statistics WHERE table_schema='%s' AND "
                         "table_name='%s' AND index_type <> 'FULLTEXT' "
                         "ORDER BY index_name, seq_in_index" % (src_db, t)):
                idx.setdefault(name, []).append(col.lower())
            cur.execute("EXEC sp_pkeys @table_name = %s", (t,))
            desc = [d[0] for d in cur.description]
            pk = [r[desc.index("COLUMN_NAME")].lower()
                  for r in sorted(cur.fetchall(), key=lambda r: r[desc.index("KEY_SEQ")])]
            cur.execute("EXEC sp_statistics @table_name = %s", (t,))
            desc = [d[0] for d in cur.description]
            have = {}
            for r in cur.fetchall():
                name = r[desc.index("INDEX_NAME")]
                if name is None:
                    continue
                have.setdefault(name, []).append(
                    (r[desc.index("SEQ_IN_INDEX")], r[desc.index("COLUMN_NAME")].lower()))
            have_cols = [[c for _, c in sorted(v)] for v in have.values()]
            pk_ok = pk == idx.get("PRIMARY", [])
            expected = [v for k, v in idx.items() if k != "PRIMARY"]
            missing = [k for k, v in idx.items() if k != "PRIMARY" and v not in have_cols]
            bad += (not pk_ok) + len(missing)
            print(t, "pk", "ok" if pk_ok else "DIFFERS", "indexes",
                  "%d/%d" % (len(expected) - len(missing), len(expected)), *missing)
    return 1 if bad else 0


def sql(args):
    port, password, db, statement = args
    with stand_in(port, password, db) as conn:
        cur = conn.cursor()
        cur.execute(statement)
        if cur.description:
            for row in cur.fetchall():
                print("\t".join("NULL" if v is None else str(v) for v in row))
    return 0


if __name__ == "__main__":
    command = {"compare": compare, "keys": keys, "sql": sql}.get(sys.argv[1] if len(sys.argv) > 1
                                                                 else "")
    if not command:
        print(__doc__, file=sys.stderr)
        sys.exit(2)
    sys.exit(command(sys.argv[2:]))
