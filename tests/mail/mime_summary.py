#!/usr/bin/env python3
"""Parses a mail file as MIME and prints what the tests check, as JSON.

Each attachment's decoded bytes are written into the output folder as 0, 1, ...
in message order.
"""
import email
import email.policy
import json
import os
import sys


def main():
    path, out_folder = sys.argv[1], sys.argv[2]
    with open(path, "rb") as f:
        data = f.read()
    raw = email.message_from_bytes(data)
    msg = email.message_from_bytes(data, policy=email.policy.default)
    body = msg.get_body(preferencelist=("plain",))
    summary = {
        "defects": [type(d).__name__ for part in msg.walk() for d in part.defects],
        "mime_version": msg.get("MIME-Version"),
        "date": msg.get("Date"),
        "from": str(msg["From"]),
        "to": str(msg["To"]),
        "subject": str(msg["Subject"]),
        "subject_raw": raw["Subject"],
        "content_type": msg.get_content_type(),
        "body_type": body.get_content_type() if body else None,
        "body_charset": body.get_param("charset") if body else None,
        "body": body.get_content() if body else None,
        "attachments": [],
    }
    os.makedirs(out_folder, exist_ok=True)
    for index, part in enumerate(msg.iter_attachments()):
        payload = part.get_payload(decode=True)
        with open(os.path.join(out_folder, str(index)), "wb") as f:
            f.write(payload)
        summary["attachments"].append({
            "name": part.get_filename(),
            "type": part.get_content_type(),
            "encoding": part.get("Content-Transfer-Encoding"),
        })
    print(json.dumps(summary))


if __name__ == "__main__":
    main()
