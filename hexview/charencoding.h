#pragma once

/// How the character column and "Copy" read the bytes. Latin-1 is the default: every byte is
/// the character with the same code point.
enum class CharEncoding { Latin1, Windows1252, Utf8 };
