#!/usr/bin/env python3
"""A sale made exactly once through frgate, with Python's standard library alone.

    python3 sale.py [URL] [--token TOKEN]      (or FRGATE_URL and FRGATE_TOKEN)

URL defaults to http://127.0.0.1:8080. The receipt's request carries an Idempotency-Key made
once for this sale. The first try waits so briefly that its answer is lost on the way, as it
is when a line drops; the retries send the very same request with the same key until an
answer comes, and frgate answers the receipt it made, never a second one.
"""
import argparse
import json
import os
import sys
import time
import urllib.error
import urllib.request
import uuid

SALE = {
    "kind": "sale",
    "items": [
        {"name": "Батон", "price": "45.50", "qty": "2.000", "unit": "шт"},
        {"name": "Молоко", "price": "60.00"},
    ],
    "payment": {"cash": "200.00"},
}


def post(url, token, path, body, key, timeout):
    """The status, the headers and the JSON body of frgate's answer."""
    headers = {"Content-Type": "application/json", "Idempotency-Key": key}
    if token:
        headers["Authorization"] = "Bearer " + token
    request = urllib.request.Request(url + path, data=json.dumps(body).encode("utf-8"),
                                     headers=headers, method="POST")
    try:
        with urllib.request.urlopen(request, timeout=timeout) as answer:
            return answer.status, answer.headers, json.load(answer)
    except urllib.error.HTTPError as refused:
        return refused.code, refused.headers, json.load(refused)


def main():
    parser = argparse.ArgumentParser(description="A sale made exactly once through frgate.")
    parser.add_argument("url", nargs="?", default=os.environ.get("FRGATE_URL", "http://127.0.0.1:8080"))
    parser.add_argument("--token", default=os.environ.get("FRGATE_TOKEN", ""))
    arguments = parser.parse_args()
    url = arguments.url.rstrip("/")

    key = "example-python-" + str(uuid.uuid4())
    print("sale with Idempotency-Key", key)
    receipts = []
    timeout = 0.05  # the first answer is lost: the client stops waiting for it
    for attempt in range(1, 31):
        try:
            status, headers, body = post(url, arguments.token, "/v1/receipts", SALE, key, timeout)
        except (OSError, ValueError) as lost:  # a time-out, a cut connection
            print("try %d: no answer (%s); the same request again, with the same key" % (attempt, lost))
            timeout = 30
            continue
        if status == 409 and body["error"]["code"] is None:  # its first request is still being served
            print("try %d: the first request is still being served; asking again" % attempt)
            time.sleep(0.5)
            continue
        if status != 201:
            print("try %d: refused, %d %s: %s" % (attempt, status, body["error"]["meaning"],
                                                 body["error"]["message"]))
            return 1
        document = body["document"]
        replayed = headers.get("Idempotency-Replayed") == "true"
        print("try %d: receipt %d, document %d, fiscal sign %s, total %s, change %s%s" % (
            attempt, body["receipt"], document["number"], document["fiscal_sign"], body["total"],
            body["change"], " (the answer recorded for this key)" if replayed else ""))
        receipts.append(document["number"])
        if len(receipts) == 2:
            break
        timeout = 30  # and once more, as if this answer too had been lost
    if len(receipts) < 2:
        print("no answer after 30 tries")
        return 1
    if receipts[0] != receipts[1]:
        print("two documents, %d and %d, for one key" % tuple(receipts))
        return 1
    print("one receipt, document %d, however often it was asked for" % receipts[0])
    return 0


if __name__ == "__main__":
    sys.exit(main())
