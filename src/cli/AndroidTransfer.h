// velloran-kik transfer SOURCE --to-android SERIAL: the window's whole
// transfer flow onto a connected phone (safety copies, load, merge and put
// back, reload and check).
#pragma once

class CliContext;

int runTransferToAndroid(CliContext &ctx);
