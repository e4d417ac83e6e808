#pragma once
// The head of every output file written with the default settings, as stored (CR LF).

namespace fenwix::testing {

inline constexpr const char* DEFAULT_HEAD =
    "! The data in this file will be associated with this Datum.\r\n"
    "$DATUM\r\n"
    "  WGS 84\r\n"
    "  6378137.0000\r\n"
    "  298.2572236\r\n"
    "\r\n"
    "$NETTYP\r\n"
    "3\r\n"
    "\r\n"
    "$UNITS\r\n"
    "M\r\n"
    "D\r\n"
    "1\r\n"
    "\r\n"
    "! Default observation SD's. Remove or change these to 0.0 to disable.\r\n"
    "! These values can be redefined or disabled anywhere in the file.\r\n"
    "$G_AZ_SD\r\n5.000\r\n\r\n"
    "$G_HOR_SD\r\n5.000\r\n\r\n"
    "$G_ZEN_SD\r\n5.000\r\n\r\n"
    "$G_CRD_SD\r\n0.00500\r\n\r\n";

}  // namespace fenwix::testing
