#pragma once
// What a front end keeps: the request its controls or options describe, and the last run it
// shows. Free of any toolkit; the Qt window and the command line reach the person through
// UserInterface.

#include "app/conversion_request.h"
#include "app/conversion_run.h"
#include "app/user_interface.h"

namespace fenwix {

struct ConvertDialog {
  ConversionRequest request;
  ConversionRun run;

  void InitializeDefaults() { request.InitializeDefaults(); }
  // Converts the request and keeps the run; the last run is let go first, so that a large job
  // is never held twice.
  ConversionResult RunConversion(UserInterface& ui) {
    run = ConversionRun{};
    run = fenwix::RunConversion(request, ui);
    return run.result;
  }
};

// The sentences the final message gains: the step budget that left stations without
// coordinates (how to lift it), the warnings the check report lists, what the checks flagged.
// Each is empty when it has nothing to say.
std::string StepBudgetSentence(const ConversionRequest& request, const ConversionRun& run);
std::string WarningSummary(const ConversionRequest& request, const ConversionRun& run);
std::string CheckSummary(const ConversionRequest& request, const ConversionRun& run);

}  // namespace fenwix
