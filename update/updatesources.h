#pragma once

#include <QString>
#include <optional>

#include "update/packagesignature.h"

/// Where this build's update comes from and what it trusts.
namespace updatesources {

/// The key this build was made with (the CMake setting RTCP_UPDATE_PUBLIC_KEY); nothing in a
/// build without one, which then offers no download.
std::optional<SigningKey> builtInSigningKey();

/// The fetch helper: beside the executable (the launcher links it beside a user's copy), else
/// in the packaged program's folder under the configured prefix or the Debian package's; the
/// path beside the executable when it is in none of them.
QString fetchProgram(const QString& executableFolder);

/// Whether a server's page address may go to the desktop's opener: http and https only.
bool isWebAddress(const QString& address);

} // namespace updatesources
