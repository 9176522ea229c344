#!/usr/bin/python3
"""Peer import into PostgreSQL: what an operator would script instead of the
tool (members only), through psycopg2.

Usage:
  /usr/bin/python3 peer_import_pg.py WORKBOOK(.xls|.xlsx) DSN [--batch N]

DSN is a libpq connection string ("host=127.0.0.1 port=5432 dbname=d
user=u"); the store must hold the tables `vipimport-cli init-store` makes.

Per record (default), per member row, as the SQLite peer does it:
  1. a counter draw for "VCM_ID_VIPCardMaster" in its own transaction: one
     UPDATE ... RETURNING (the first draw creates the counter at MAX+1);
  2. the member row inserted and committed on its own;
  3. principal > 0: a draw of "VCD_ID_VIPCardDetail" and the "C" entry, each
     committed on its own; gift > 0: the same for the "F" entry.
--batch N: N member rows per transaction; the batch's numbers are drawn as
  one block per counter (ASN_NO += rows), and its member rows, C entries and
  F entries go as three multi-row INSERTs (execute_values). A batch the
  store refuses is rolled back and imported again row by row.
Readers: xlrd for .xls, openpyxl read_only for .xlsx.
"""
import base64
import datetime
import decimal
import struct
import sys

import psycopg2
import psycopg2.extras

TITLE_TO_COL = {
    "类别编号": "VCT_No", "会员卡ID": "VCM_CardID", "会员卡号": "VCM_CardNo",
    "姓名": "VCM_GuestName", "性别": "VCM_Sex", "手机号码": "VCM_MobileNo",
    "创建日期": "VCM_CreateDate", "到期日期": "VCM_EndDate", "总余额": "VCM_Balance",
    "本金余额": "VCM_BalancePayed", "赠送余额": "VCM_BalanceFree",
}
DEFAULTS = {"VCM_Sex": "0", "VCM_Balance": "0", "VCM_BalancePayed": "0",
            "VCM_BalanceFree": "0"}
MEMBER_KEY = ("VIPCardMaster", "VCM_ID")
ENTRY_KEY = ("VIPCardDetail", "VCD_ID")
C_COLUMNS = ("VCD_ID,VCM_ID,VCD_Flag,VCD_SysDate,VCD_DateTime,VCD_Descript,VCD_CRMoney,"
             "VCD_Balance,VCD_ClerkName")
F_COLUMNS = C_COLUMNS + ",VCD_KaZengBalance,VCD_KaZengBeginDate,VCD_KaZengEndDate"


def num_text(v):
    if float(v).is_integer() and abs(v) < 2 ** 53:
        return str(int(v))
    return "%.15g" % v


def rows_xls(path):
    import xlrd
    sheet = xlrd.open_workbook(path).sheet_by_index(0)
    for r in range(sheet.nrows):
        out = []
        for c in range(sheet.ncols):
            cell = sheet.cell(r, c)
            if cell.ctype == xlrd.XL_CELL_TEXT:
                out.append(cell.value)
            elif cell.ctype == xlrd.XL_CELL_NUMBER:
                out.append(num_text(cell.value))
            elif cell.ctype in (xlrd.XL_CELL_EMPTY, xlrd.XL_CELL_BLANK):
                out.append("")
            else:
                out.append(str(cell.value))
        yield out


def rows_xlsx(path):
    import openpyxl
    book = openpyxl.load_workbook(path, read_only=True, data_only=True)
    for row in book.worksheets[0].iter_rows(values_only=True):
        out = []
        for v in row:
            if v is None:
                out.append("")
            elif isinstance(v, str):
                out.append(v)
            elif isinstance(v, bool):
                out.append("True" if v else "False")
            elif isinstance(v, (int, float)):
                out.append(num_text(v))
            elif isinstance(v, datetime.datetime):
                out.append(v.strftime("%Y-%m-%d"))
            else:
                out.append(str(v))
        yield out


def read_rows(path):
    return rows_xls(path) if path.lower().endswith(".xls") else rows_xlsx(path)


def single(x):
    return struct.unpack("f", struct.pack("f", x))[0]


def member_record(cols, cells):
    """The member's columns (without VCM_ID) and its two opening balances."""
    rec = {}
    principal = gift = 0.0
    for col, text in zip(cols, cells):
        if col is None:
            continue
        if text == "":
            text = datetime.date.today().isoformat() if col == "VCM_CreateDate" \
                else DEFAULTS.get(col, "")
        if col == "VCM_Sex":
            text = "1" if text == "女" else "0"
        rec[col] = text
        if col == "VCM_Balance":
            d = decimal.Decimal(text.strip(" ")).quantize(
                decimal.Decimal("0.01"), rounding=decimal.ROUND_HALF_UP)
            rec["VCM_BalanceE"] = base64.b64encode(str(d).encode()).decode()
        elif col == "VCM_BalancePayed":
            principal = single(float(text.strip(" ")))
        elif col == "VCM_BalanceFree":
            gift = single(float(text.strip(" ")))
    return rec, principal, gift


def draw(cur, key, count=1):
    """Raises the counter by COUNT; the first of the numbers drawn."""
    table, col = key
    name = "%s_%s" % (col, table)
    cur.execute("UPDATE AutoSerialNo SET ASN_NO=ASN_NO+%s WHERE ASN_TYPE=%s RETURNING ASN_NO",
                (count, name))
    row = cur.fetchone()
    if row is None:
        cur.execute("INSERT INTO AutoSerialNo(ASN_NO, ASN_TYPE) SELECT COALESCE(MAX(%s),0)+%%s, %%s"
                    " FROM %s RETURNING ASN_NO" % (col, table), (count, name))
        row = cur.fetchone()
    return row[0] - count + 1


def c_entry(vcd, vcm, amount, sysdate, now):
    return (vcd, str(vcm), "C", sysdate, now, "初始化本金余额", amount, amount, "系统")


def f_entry(vcd, vcm, amount, sysdate, now):
    return (vcd, str(vcm), "F", sysdate, now, "初始化赠送余额", amount, amount, "系统",
            amount, sysdate, "9999-12-31")


def now_text():
    return datetime.datetime.now().strftime("%Y-%m-%d %H:%M:%S")


class Importer:
    def __init__(self, conn, cols):
        self.conn = conn
        self.cols = cols
        cur = conn.cursor()
        cur.execute("SELECT SP_Value FROM Qx_SysPara WHERE SP_Name='系统日期'")
        row = cur.fetchone()
        self.sysdate = row[0] if row else datetime.date.today().isoformat()
        if not conn.autocommit:
            conn.commit()
        self.imported = self.failed = 0

    def one_row(self, r, cells):
        """Per record: every draw and every insert commits by itself."""
        cur = self.conn.cursor()
        try:
            rec, principal, gift = member_record(self.cols, cells)
            vcm = draw(cur, MEMBER_KEY)
            names = ["VCM_ID"] + list(rec)
            cur.execute("INSERT INTO VipCardMaster(%s) VALUES(%s)"
                        % (",".join(names), ",".join(["%s"] * len(names))),
                        [vcm] + list(rec.values()))
            if principal > 0:
                cur.execute("INSERT INTO VIPCardDetail(%s) VALUES(%s)"
                            % (C_COLUMNS, ",".join(["%s"] * 9)),
                            c_entry(draw(cur, ENTRY_KEY), vcm, principal, self.sysdate, now_text()))
            if gift > 0:
                cur.execute("INSERT INTO VIPCardDetail(%s) VALUES(%s)"
                            % (F_COLUMNS, ",".join(["%s"] * 12)),
                            f_entry(draw(cur, ENTRY_KEY), vcm, gift, self.sysdate, now_text()))
            self.imported += 1
        except (psycopg2.Error, ValueError, decimal.InvalidOperation) as e:
            self.failed += 1
            print("row %d failed: %s" % (r, e), file=sys.stderr)

    def batch(self, rows):
        """ROWS [(sheet row, cells)] in one transaction, one statement per table."""
        records = [member_record(self.cols, cells) for _, cells in rows]
        entries = sum((p > 0) + (g > 0) for _, p, g in records)
        cur = self.conn.cursor()
        vcm = draw(cur, MEMBER_KEY, len(records))
        vcd = draw(cur, ENTRY_KEY, entries) if entries else 0
        names = ["VCM_ID"] + list(records[0][0])
        members, c_rows, f_rows = [], [], []
        now = now_text()
        for i, (rec, principal, gift) in enumerate(records):
            members.append([vcm + i] + list(rec.values()))
            if principal > 0:
                c_rows.append(c_entry(vcd, vcm + i, principal, self.sysdate, now))
                vcd += 1
            if gift > 0:
                f_rows.append(f_entry(vcd, vcm + i, gift, self.sysdate, now))
                vcd += 1
        insert_all(cur, "VipCardMaster(%s)" % ",".join(names), members)
        insert_all(cur, "VIPCardDetail(%s)" % C_COLUMNS, c_rows)
        insert_all(cur, "VIPCardDetail(%s)" % F_COLUMNS, f_rows)
        self.conn.commit()
        self.imported += len(records)


def insert_all(cur, target, rows):
    if rows:
        psycopg2.extras.execute_values(cur, "INSERT INTO %s VALUES %%s" % target, rows,
                                       page_size=len(rows))


def batches(it, size):
    chunk = []
    for item in it:
        chunk.append(item)
        if len(chunk) == size:
            yield chunk
            chunk = []
    if chunk:
        yield chunk


def main(argv):
    if len(argv) not in (3, 5) or (len(argv) == 5 and argv[3] != "--batch"):
        raise SystemExit(__doc__)
    path, dsn = argv[1], argv[2]
    size = int(argv[4]) if len(argv) == 5 else 0
    conn = psycopg2.connect(dsn)
    conn.autocommit = size == 0
    it = read_rows(path)
    cols = [TITLE_TO_COL.get(t) for t in next(it)]
    importer = Importer(conn, cols)
    rows = enumerate(it, start=2)
    if size == 0:
        for r, cells in rows:
            importer.one_row(r, cells)
    else:
        for chunk in batches(rows, size):
            try:
                importer.batch(chunk)
            except (psycopg2.Error, ValueError, decimal.InvalidOperation):
                conn.rollback()
                conn.autocommit = True
                for r, cells in chunk:
                    importer.one_row(r, cells)
                conn.autocommit = False
    print("imported %d, failed %d" % (importer.imported, importer.failed))
    conn.close()


if __name__ == "__main__":
    main(sys.argv)
