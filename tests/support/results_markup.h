#pragma once

// The pieces of a results page, as the core's tests expect them.

#include <string>

namespace veltrin::testing {

inline const std::string kResultsHeading = "<h1 style='font-family: tahoma; font-size: 25px;'>Download Links</h1>";

inline std::string ResultsRow(const std::string& label, const std::string& href) {
    return "<span style='font-size: 18px; font-family: tahoma;'>Download " + label + " Version: </span><a href=\"" +
           href + "\"><img src=\"dl.jpg\" border=\"0\" /></a><br>";
}

inline std::string AdvertisementFrame(const std::string& page) {
    return "<iframe src='" + page + "' frameBorder='0' height='90' width='500'></iframe><br>";
}

} // namespace veltrin::testing
