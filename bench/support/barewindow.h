#pragma once

class QMainWindow;

/// The baseline of the start-up benchmarks: a plain Qt main window with the same kinds and numbers
/// of widgets as the program's, with nothing behind them. Not shown; the caller owns it.
QMainWindow* bareWindow();
