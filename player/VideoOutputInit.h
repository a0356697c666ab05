#pragma once

// Prepares the windowing system for libvlc, which draws from its own threads into our windows.
// Call before the application object is made.
void initVideoOutput();
