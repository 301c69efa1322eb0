// Ctrl-C or a TERM signal must not leave a child program running or the
// device link lying about: the handler only raises a flag, and every wait of
// the benchmark looks at it and unwinds, so that the usual destructors clean
// up.
#pragma once

namespace vardel::bench {

// Routes SIGINT, SIGTERM and SIGHUP to the flag; ignores SIGPIPE (a child that
// went away must not take the benchmark with it).
void CatchInterruptions();
bool Interrupted();

}  // namespace vardel::bench
