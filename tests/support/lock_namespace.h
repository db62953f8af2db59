#pragma once

// Gives this test program, and every program it starts, named locks of their
// own: test programs run side by side, and a server in one of them that holds
// "Remocon" for seconds on purpose must not stall the servers of another.
// Copies started by one program still share their locks, as copies do.
void UsePrivateLockNamespace();
