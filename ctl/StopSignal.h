// Waiting between two rounds of a kivctl command that runs until stopped.
#pragma once

/// From now on SIGINT and SIGTERM ask the waits below to end.
void CatchStopSignals();

/// Waits seconds in short steps, so that Ctrl+C is answered at once, or
/// until the descriptor wake (when not -1) has something to read; false when
/// a stop was asked for.
bool WaitUnlessStopped(int seconds, int wake = -1);
