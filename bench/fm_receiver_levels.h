#pragma once

namespace bench {

// Prints a Markdown table of the levels the meter reads through a simulated FM receiver
// that works as rtl_fm does (the multiplex FM-modulated, captured at the first multiple of
// the output rate above 1 MHz, decimated to the output rate, then a polar discriminator),
// at each rate rtl_fm is used with, against the levels of the multiplex itself.
void PrintLevelsThroughReceiver(double seconds);

}  // namespace bench
