#pragma once
// How a simulated camera answers POST /command/inquiry.cgi: "inq=system", "inq=user" and
// "inq=network" give key=value fields joined by "&" (the Administrator value in Base64 with "=" sent
// as "%3D"); inq=user (or every inquiry, with authenticateAll) needs the credential of a known user,
// else 401 with WWW-Authenticate. The HTTP fault knobs shape the response. Pure functions.

#include <string>
#include <string_view>

#include "sim/SimCamera.h"
#include "sim/SimHttp.h"

namespace xqt::sim {

/// Base64 of `bytes`, written apart from the tool's own encoder so the two check each other.
std::string SimBase64(std::string_view bytes);

std::string SystemAnswer(const SimCamera& camera);
std::string UserAnswer(const SimCamera& camera);
std::string NetworkAnswer(const SimCamera& camera);

/// True when `authorization` ("Basic " + Base64 of name:password) names one of the camera's users.
bool IsKnownUser(const SimCamera& camera, std::string_view authorization);

/// The response to one request on the inquiry path; `timeScale` scales the knobs' delays.
SimResponse HandleInquiry(const SimCamera& camera, const SimRequest& request, double timeScale);

}  // namespace xqt::sim
