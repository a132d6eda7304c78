#include "cli/interrupts.h"

#include <signal.h>

#include <csignal>

namespace vexlor::cli {

namespace {

volatile std::sig_atomic_t interrupted = 0;
struct sigaction previous_action;
int scopes = 0;

extern "C" void OnInterrupt(int) { interrupted = 1; }

}  // namespace

InterruptScope::InterruptScope() {
  if (scopes++ > 0) return;
  interrupted = 0;
  struct sigaction action {};
  action.sa_handler = OnInterrupt;
  sigemptyset(&action.sa_mask);
  sigaction(SIGINT, &action, &previous_action);
}

InterruptScope::~InterruptScope() {
  if (--scopes > 0) return;
  sigaction(SIGINT, &previous_action, nullptr);
}

bool Interrupted() { return interrupted != 0; }

}  // namespace vexlor::cli
