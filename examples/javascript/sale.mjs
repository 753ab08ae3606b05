#!/usr/bin/env node
// A sale made exactly once through frgate, with Node's own fetch (Node 18 or later, no packages).
//
//   node sale.mjs [URL] [--token TOKEN]      (or FRGATE_URL and FRGATE_TOKEN)
//
// URL defaults to http://127.0.0.1:8080. The receipt's request carries an Idempotency-Key made
// once for this sale. The first try waits so briefly that its answer is lost on the way, as it
// is when a line drops; the retries send the very same request with the same key until an
// answer comes, and frgate answers the receipt it made, never a second one.
import { randomUUID } from "node:crypto";
import process from "node:process";

const SALE = {
  kind: "sale",
  items: [
    { name: "Батон", price: "45.50", qty: "2.000", unit: "шт" },
    { name: "Молоко", price: "60.00" },
  ],
  payment: { cash: "200.00" },
};

function options() {
  const words = process.argv.slice(2);
  let url = process.env.FRGATE_URL || "http://127.0.0.1:8080";
  let token = process.env.FRGATE_TOKEN || "";
  for (let i = 0; i < words.length; ++i) {
    if (words[i] === "--token") token = words[++i] ?? "";
    else url = words[i];
  }
  return { url: url.replace(/\/+$/, ""), token };
}

// frgate's answer: its status, headers and JSON body.
async function post({ url, token }, path, body, key, timeoutMs) {
  const headers = { "Content-Type": "application/json", "Idempotency-Key": key };
  if (token) headers.Authorization = "Bearer " + token;
  const answer = await fetch(url + path, {
    method: "POST",
    headers,
    body: JSON.stringify(body),
    signal: AbortSignal.timeout(timeoutMs),
  });
  return { status: answer.status, headers: answer.headers, body: await answer.json() };
}

async function main() {
  const gateway = options();
  const key = "example-javascript-" + randomUUID();
  console.log("sale with Idempotency-Key", key);
  const receipts = [];
  let timeoutMs = 50; // the first answer is lost: the client stops waiting for it
  for (let attempt = 1; attempt <= 30 && receipts.length < 2; ++attempt) {
    let answer;
    try {
      answer = await post(gateway, "/v1/receipts", SALE, key, timeoutMs);
    } catch (lost) { // a time-out, a cut connection
      console.log(`try ${attempt}: no answer (${lost.name}); the same request again, with the same key`);
      timeoutMs = 30000;
      continue;
    }
    const { status, headers, body } = answer;
    if (status === 409 && body.error.code === null) { // its first request is still being served
      console.log(`try ${attempt}: the first request is still being served; asking again`);
      await new Promise((resolve) => setTimeout(resolve, 500));
      continue;
    }
    if (status !== 201) {
      console.log(`try ${attempt}: refused, ${status} ${body.error.meaning}: ${body.error.message}`);
      return 1;
    }
    const document = body.document;
    const replayed = headers.get("Idempotency-Replayed") === "true";
    console.log(`try ${attempt}: receipt ${body.receipt}, document ${document.number}, ` +
      `fiscal sign ${document.fiscal_sign}, total ${body.total}, change ${body.change}` +
      (replayed ? " (the answer recorded for this key)" : ""));
    receipts.push(document.number);
    timeoutMs = 30000; // and once more, as if this answer too had been lost
  }
  if (receipts.length < 2) {
    console.log("no answer after 30 tries");
    return 1;
  }
  if (receipts[0] !== receipts[1]) {
    console.log(`two documents, ${receipts[0]} and ${receipts[1]}, for one key`);
    return 1;
  }
  console.log(`one receipt, document ${receipts[0]}, however often it was asked for`);
  return 0;
}

process.exitCode = await main();
