// The receipt printer on its serial line: start-up, printing, raw bytes, cutting and the paper
// status, which the driver mirrors into the device status flags.
//
// Result codes: kSuccess, kPrinterSilent when the printer is absent or not answering (or what
// was to be sent could not be written), kPaperOut. Every operation runs on the core thread.
#pragma once

#include <string>
#include <string_view>

#include "core/state/device_state.h"
#include "core/state/result_code.h"
#include "platform/sleep.h"
#include "serial/serialport.h"
#include "values/bytes.h"

// The printer line's speed.
inline constexpr rs::BaudRate kPrinterLineSpeed = rs::BaudRate::Baud57600;

class PrinterDriver {
 public:
  // Sets up the line (57600 bit/s, 8N1, 200 ms read time-out, echo off) without opening it.
  PrinterDriver(std::string portPath, DeviceState& state);

  // Opens the line unless it is open.
  void ensureOpen();

  // Asks for the paper status up to five times, pausing 100 ms after each query left
  // unanswered, and updates the printer flags: not answering (53), paper near end, paper out
  // (54). The printer reads the query only after the bytes sent before it, which take their
  // time on the line at its speed (28 ms for the 163 bytes of a receipt item, seconds for a
  // long report): a query counts as unanswered only when its answer has not come 200 ms after
  // the query itself has gone out. So a printer that is printing a long text is not taken for
  // a silent one, and is not asked again while the bytes ahead of the query are on the line.
  int queryStatus();
  // Resets the printer and waits for it to be ready: up to ten status queries, the first half
  // a second after the reset, the others 200 ms apart. Sets the printer up once it reports
  // ready; returns the last status.
  int initialise();
  // Sends the setup and code-page commands.
  int setup();
  // Sets the printer up, sends rendered text and reports the status that follows; 53 when the
  // text could not be sent, even if the printer answers.
  int printText(std::string_view text);
  // Sends bytes unchanged; no bytes send nothing and give 0 (when the line is open).
  int writeRaw(bytes::View data);
  // Feeds the paper and cuts it.
  int cut();

 private:
  // Writes every byte, continuing after partial writes. False when the line is closed or a
  // write fails.
  bool writeAll(std::string_view data);
  bool writeAll(bytes::View data);
  bool sendSetup();
  // Drops what the printer sent unasked, so that the status byte read next answers the query.
  void discardInput();
  // Milliseconds from now until a status answer is overdue: the answer time after every byte
  // written so far has left the line.
  int answerTimeoutMs() const;

  rs::SerialPort port_;
  DeviceState& state_;
  // When the bytes written so far will all have left the line: it carries them one after
  // another at its speed, each from when it was written or the one before it had gone out.
  platform::SteadyClock::time_point lineFreeAt_{};
};

// Runs a readiness check; when it refuses for a printer flag (53 or 54), which the last status
// query may have left long ago, asks the printer once and runs the check again on its answer.
template <typename Check>
int withFreshPrinterState(PrinterDriver& printer, Check check) {
  const int code = check();
  if (code != result::kPrinterSilent && code != result::kPaperOut) return code;
  printer.queryStatus();
  return check();
}

