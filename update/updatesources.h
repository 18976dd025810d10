#pragma once

#include <QString>
#include <optional>

#include "update/packagesignature.h"

/// Where this build's update comes from and what it trusts.
namespace updatesources {

/// The key this build was made with (the CMake setting RTCP_UPDATE_PUBLIC_KEY); nothing in a
/// build without one, which then offers no download.
std::optional<SigningKey> builtInSigningKey();

/// The fetch helper: beside the executable, else where the package installs it (a user's copy
/// of the program, made by the launcher, runs from a folder of its own).
QString fetchProgram(const QString& executableFolder);

/// Whether a server's page address may go to the desktop's opener: http and https only.
bool isWebAddress(const QString& address);

} // namespace updatesources
