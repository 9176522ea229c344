#!/usr/bin/python3
"""Writes the bundled example workbooks: categories.xls/.xlsx (a dozen member
categories) and members.xls/.xlsx (a few hundred members). Deterministic: the
same files every run. Run with Debian's /usr/bin/python3 (python3-xlwt and
python3-openpyxl)."""

import datetime
import os
import random

import openpyxl
import xlwt

HERE = os.path.dirname(os.path.abspath(__file__))
MEMBER_COUNT = 300

CATEGORY_NAMES = ["普通卡", "银卡", "金卡", "白金卡", "钻石卡", "至尊卡", "员工卡", "商务卡",
                  "家庭卡", "学生卡", "储值卡", "体验卡"]

SURNAMES = "王李张刘陈杨黄赵吴周徐孙马朱胡郭何高林罗郑梁谢宋唐许韩冯邓曹彭曾肖田董袁潘于蒋蔡余杜叶程苏魏吕丁任沈"
GIVEN = "伟芳娜秀英敏静丽强磊军洋勇艳杰娟涛明超秀兰霞平刚桂英华建国志红玉兰春梅海燕雪晨宇浩然子涵欣怡思远嘉怡俊杰"


def categories():
    rows = [["类别编号", "类别名称", "备注"]]
    for i, name in enumerate(CATEGORY_NAMES, start=1):
        rows.append(["%02d" % i, name, "折扣%d折" % (10 - i % 4) if i % 3 else None])
    # A second row with number 03: the store's unique key refuses it.
    rows.insert(5, ["03", "金卡(重复)", "重复的类别编号"])
    return rows


def members(rng):
    rows = [["类别编号", "会员卡ID", "会员卡号", "姓名", "性别", "手机号码", "创建日期",
             "到期日期", "总余额", "本金余额", "赠送余额"]]
    start = datetime.date(2023, 1, 1)
    for i in range(1, MEMBER_COUNT + 1):
        name = rng.choice(SURNAMES) + "".join(rng.choice(GIVEN) for _ in range(rng.choice((1, 2))))
        sex = rng.choice(("男", "女", "女", "男", None))
        mobile = "1%d%09d" % (rng.choice((3, 5, 8)), rng.randrange(10 ** 9)) if rng.random() < 0.9 else None
        created = start + datetime.timedelta(days=rng.randrange(700))
        ends = created.replace(year=created.year + 2) if rng.random() < 0.6 else None
        principal = round(rng.choice((0, 0, 100, 200, 500, 1000)) + rng.randrange(100) / 4, 2)
        gift = rng.choice((0, 0, 0, 20, 50, 88.8))
        row = ["%02d" % rng.randrange(1, len(CATEGORY_NAMES) + 1), "ID%06d" % (100000 + i),
               "8%07d" % i, name, sex, mobile, created.isoformat(),
               ends.isoformat() if ends else None, round(principal + gift, 2),
               principal if principal else None, gift]
        rows.append(row)
    # Visible failures: a balance typed with a thousands separator.
    rows[42][9] = "1,234.50"
    rows[42][8] = "1,234.50"
    # A member with nothing but a card number: every other column gets its default.
    rows[100] = [None, None, "8000100", None, None, None, None, None, None, None, None]
    return rows


def write_xls(path, rows):
    book = xlwt.Workbook(encoding="utf-8")
    sheet = book.add_sheet("Sheet1")
    for r, row in enumerate(rows):
        for c, value in enumerate(row):
            if value is not None:
                sheet.write(r, c, value)
    book.save(path)


def write_xlsx(path, rows):
    book = openpyxl.Workbook()
    sheet = book.active
    sheet.title = "Sheet1"
    for r, row in enumerate(rows, start=1):
        for c, value in enumerate(row, start=1):
            if value is not None:
                sheet.cell(row=r, column=c, value=value)
    # Fixed document times, so the file is the same on every run.
    when = datetime.datetime(2024, 1, 1)
    book.properties.created = when
    book.properties.modified = when
    book.save(path)


def main():
    rng = random.Random(20240101)
    category_rows = categories()
    member_rows = members(rng)
    for stem, rows in (("categories", category_rows), ("members", member_rows)):
        write_xls(os.path.join(HERE, stem + ".xls"), rows)
        write_xlsx(os.path.join(HERE, stem + ".xlsx"), rows)


if __name__ == "__main__":
    main()
