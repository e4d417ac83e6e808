#pragma once
// A generated network converted as a surveyor would: its field file in, the seed its first
// station at its true position, every station reached, with the check report and, when asked,
// the adjustment test.

#include <cstdint>
#include <string>

#include "app/convert_dialog.h"
#include "geodesy/angles.h"
#include "geodesy/coordinates.h"
#include "survey_network.h"

namespace fenwix::bench {

// The small job the tests convert: 30 stations, control on every second grid line with a setup
// on each, one seed reaching them all; rounds setups per point.
inline NetworkLayout SmallSeededLayout(int32_t rounds = 1) {
  NetworkLayout layout;
  layout.stations = 30;
  layout.gnss_step = 2;
  layout.seed = 77;
  layout.setups_at_control = true;
  layout.setup_share = 1.0;
  layout.rounds = rounds;
  return layout;
}

// Sets dialog up (defaults first) to convert the field file input of net into output.
// generator_profile weights the records with the generator's own noise (1", 1 mm + 1 ppm)
// instead of the default profile.
inline void PrepareNetworkConversion(ConvertDialog& dialog, const GeneratedNetwork& net,
                                     const std::string& input, const std::string& output,
                                     bool adjustment_test, bool generator_profile) {
  dialog.InitializeDefaults();
  if (generator_profile) {
    InstrumentProfile& instrument = dialog.request.weight_profile.profile.instrument;
    instrument.angle_sd = instrument.zenith_sd = instrument.distance_sd_mm = 1.0;
    instrument.distance_ppm = 1.0;
  }
  dialog.request.xml_paths = {input};
  dialog.request.output_path = output;
  const auto& t = net.truth[0];
  const Geodetic seed = CartesianToGeodetic(net.input.a, net.input.e2, t[0], t[1], t[2]);
  dialog.request.seed_name = net.input.stations[0].name;
  dialog.request.seed_latitude = RadiansToDms(seed.phi);
  dialog.request.seed_longitude = RadiansToDms(seed.lam);
  dialog.request.seed_height = seed.h;
  dialog.request.compute_geodetic = true;
  dialog.request.max_steps = 0;
  dialog.request.run_checks = true;
  dialog.request.adjustment_test = adjustment_test;
}

}  // namespace fenwix::bench
