#include "app/run_phase.h"

namespace fenwix {

const char* RunPhaseText(RunPhase phase) {
  switch (phase) {
    case RunPhase::Reading:
      return "Reading the XML file";
    case RunPhase::Approximating:
      return "Computing approximate coordinates";
    case RunPhase::Merging:
      return "Looking for similar stations";
    case RunPhase::Writing:
      return "Writing the output file";
    case RunPhase::Testing:
      return "Testing the network";
  }
  return "";
}

}  // namespace fenwix
