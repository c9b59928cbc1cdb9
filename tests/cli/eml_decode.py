#!/usr/bin/env python3
"""The mail that mmedit-cli eml writes, read back by Python's own mail parser
and ISO-2022-JP codec: header lines within 76 characters, a long display
name decoded back exactly, and a body that decodes to the hard-wrapped text
with every address whole."""
import email
import email.header
import email.policy
import os
import subprocess
import sys
import tempfile

cli = sys.argv[1]

URL = ("https://www.example.co.jp/newsletter/2026/12/articles/" + "0123456789" * 6 +
       "/ab.html")
assert len(URL) == 122
NAME = "もるもる通信編集部日本語表示名前長尺試験用送信者名義"  # 25 kanji and kana
TO_NAME = "読者代表山田太郎様宛先長尺表示名前試験"
TEXT = ("今週の特集はこちら：" + URL + "をご覧ください。来週は年末特別号をお届けします。\r\n"
        "詳しくは（http://example.com/）まで。お問い合わせは info@example.jp まで。\r\n"
        "word" + " " * 67 + "next\r\n")
# The body as sent at 40 columns, by hand.
EXPECTED = ("今週の特集はこちら：\r\n" + URL + "\r\n"
            "をご覧ください。来週は年末特別号をお届け\r\n"
            "します。\r\n"
            "詳しくは（http://example.com/）まで。お\r\n"
            "問い合わせは info@example.jp まで。\r\n"
            "word\r\n"
            "next\r\n")


def fail(message):
    print("eml_decode: " + message, file=sys.stderr)
    sys.exit(1)


with tempfile.TemporaryDirectory() as tmp:
    src = os.path.join(tmp, "t.txt")
    out = os.path.join(tmp, "t.eml")
    with open(src, "wb") as f:
        f.write(TEXT.encode("cp932"))
    run = subprocess.run([cli, "eml", "--from", NAME + " <mag@example.jp>", "--to",
                          TO_NAME + " <reader@example.jp>, other@example.jp", "--subject",
                          "創刊号", "--width", "40", src, "-o", out],
                         capture_output=True)
    if run.returncode != 0:
        fail("exit %d: %s" % (run.returncode, run.stderr.decode("utf-8", "replace")))
    if URL not in run.stderr.decode("utf-8"):
        fail("no warning of the long address: " + run.stderr.decode("utf-8", "replace"))
    with open(out, "rb") as f:
        raw = f.read()

head, _, body = raw.partition(b"\r\n\r\n")
for line in head.split(b"\r\n"):
    if len(line) > 76:
        fail("header line of %d characters: %r" % (len(line), line))

message = email.message_from_bytes(raw, policy=email.policy.compat32)


def decoded(value):
    return str(email.header.make_header(email.header.decode_header(value)))


sender = decoded(message["From"])
if sender != NAME + " <mag@example.jp>":
    fail("From decodes to %r" % sender)
to = decoded(message["To"])
if to != TO_NAME + " <reader@example.jp>, other@example.jp":
    fail("To decodes to %r" % to)
if decoded(message["Subject"]) != "創刊号":
    fail("Subject decodes to %r" % decoded(message["Subject"]))
if message.get_content_charset() != "iso-2022-jp":
    fail("charset " + str(message.get_content_charset()))
text = body.decode("iso2022_jp")
if text != EXPECTED:
    fail("body decodes to %r" % text)
for address in (URL, "http://example.com/", "info@example.jp"):
    if not any(address in line for line in text.split("\r\n")):
        fail("address not whole: " + address)
print("eml_decode: ok")
