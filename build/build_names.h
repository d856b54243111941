#pragma once

// Every name is relative to the process's current folder, which the program never changes.
inline constexpr char kStagingFolder[] = "temp";
inline constexpr char kOverlayRoot[] = "files\\";
inline constexpr char kImageTool[] = "data\\mkisofs.exe";
inline constexpr char kImage[] = "QX7.ISO";
inline constexpr char kCueSheet[] = "QX7.CUE";
inline constexpr char kTrack2File[] = "QX7Track2.bin";
inline constexpr char kBootAreaFile[] = "data/qx72ip.bin";
// Held for the whole of a build; see BuildLock.
inline constexpr char kBuildLockFile[] = "QX7.LCK";

// Windows drops the trailing dot when it creates the file, so the staged file is plain CDDA2.
inline constexpr char kPlaceholderSuffix[] = "\\CDDA2.";
inline constexpr char kPlaceholderName[] = "CDDA2";

// First letters of the extensions staged from the disc's root, in the order they are copied.
inline constexpr char kStagedExtensionLetters[] = "bcdefimst";

// The overlay files copied from a disc's overlay folder.
inline constexpr char kOverlayPattern[] = "*.???";
