#pragma once
// The phases of a conversion, as its progress is shown to the person.

namespace fenwix {

enum class RunPhase {
  Reading,        // the XML file, by bytes read of its size
  Approximating,  // approximate coordinates, by stations known of all stations
  Merging,        // the similar-stations passes
  Writing,        // the output file
  Testing,        // the adjustment test of the whole network, after the output file
};

// The phase as the progress display names it ("Reading the XML file", ...).
const char* RunPhaseText(RunPhase phase);

}  // namespace fenwix
