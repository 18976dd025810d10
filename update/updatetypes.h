#pragma once

/// Unit of every size text in the update dialogs.
enum class FileSizeUnit { Auto = 0, Bytes = 1, KiloBytes = 2, MegaBytes = 3, GigaBytes = 4 };

/// Which published digest a downloaded package is checked against.
enum class THashType { None = 0, CRC32 = 1, MD5 = 2, SHA1 = 3 };
