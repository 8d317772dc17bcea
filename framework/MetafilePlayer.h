// Metafile playback. This unit reads what every platform reads the same
// way: the kind a file announces, its picture size, and the structure of
// its records (an EMF's record chain, a placeable WMF's headers and record
// chain). The drawing is the platform's: on Linux the project's own player
// plays an EMF's records with GDI's rules, a WMF being turned into an EMF
// first (backend/emf); on Windows the system's own player draws both
// (backend/gdi).
//
// Picture size at 96 dots per inch: an EMF's frame (0.01 mm units), a
// placeable WMF's bounding box (units of 1/inch as its header says). A WMF
// without the placeable header carries no size and is not accepted.
//
// Thread rules: a player is immutable once built; Render may run on any
// thread, one call at a time per player. The free functions are pure.
// Errors: the constructor, WalkEmfRecords, EmfHeaderSize and
// ReadPlaceableWmf raise EInvalidGraphic(kInvalidMetafile) for bytes that
// are not a whole, well-formed metafile; Render raises EOutOfResources
// ("Ressources insuffisantes (WxH)") when the image cannot be allocated.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <span>

#include "Surface.h"
#include "Types.h"

enum TMetafileKind { mkNone, mkEnhanced, mkWindows };

extern const char* const kInvalidMetafile;

// Picture size in pixels at 96 dots per inch (rounded to nearest).
int HundredthsMmToPixels(int64_t hundredthsMm) noexcept;
int MetafileUnitsToPixels(int64_t units, int unitsPerInch) noexcept;

// The kind a file's first bytes announce (mkNone for neither).
TMetafileKind MetafileKindOf(std::span<const uint8_t> bytes) noexcept;

// EMF record types the structure checks know.
constexpr uint32_t kEmrHeader = 1, kEmrEof = 14;

// Walks an EMF's record chain: every record at least 8 bytes, a whole
// number of 4-byte words and inside the file; the header record first and
// nowhere else; the end record reached (what follows it is not read).
// `visit`, when given, sees each record (type, byte offset, size) once its
// place in the file is checked, before the next one is read. Returns the
// length of the file up to and including the end record.
size_t WalkEmfRecords(std::span<const uint8_t> bytes,
                      const std::function<void(uint32_t type, size_t offset, uint32_t size)>& visit = {});

// The size of an EMF's header record (whose chain has been walked); a header
// shorter than its fixed part (88 bytes, up to the reference device's size
// in millimetres) is refused.
size_t EmfHeaderSize(std::span<const uint8_t> bytes);

// The picture size of an EMF from its header: the frame (0.01 mm) or, when
// the frame is empty, the bounds (inclusive reference-device pixels).
TPoint EmfPictureSize(const TRect& frame, const TRect& bounds) noexcept;

// A placeable WMF as the players read it: the 22-byte placeable header
// (key 0x9AC6CDD7, bounding box, units per inch, checksum), the WMF header,
// then records (size in 16-bit words, at least 3, function) up to the end
// record (function 0).
struct TPlaceableWmf {
  TRect Box;              // the bounding box in metafile units, as written
  int UnitsPerInch = 0;
  TPoint Frame;           // the box's size in 0.01 mm
  TPoint Size;            // the picture's size in pixels
  size_t Records = 0;     // byte offset of the first record
  size_t End = 0;         // byte offset just past the end record
  uint16_t Objects = 0;   // the object table size the WMF header gives
  uint32_t LargestRecord = 0;  // in 16-bit words, the end record included
};
TPlaceableWmf ReadPlaceableWmf(std::span<const uint8_t> bytes);

// What a system player reads inside a record as it stands: object-table
// slots, point, polygon and string counts, bitmap headers and offsets. The
// Windows player gives GDI only records whose fields stay inside the record
// and the object table the header announces (GDI's players index with them;
// Wine's do so unchecked). These checks are pure and shared so that they can
// be tested anywhere.
//
// An EMF record (in the writable copy handed to GDI) that fails raises
// EInvalidGraphic(kInvalidMetafile), as libUEMF's record checks make the
// Linux player do; pen widths beyond kMaxPenWidth are clamped to it in
// place (no picture draws wider; a rasteriser asked for such a pen can run
// for minutes). `handles` is the header's object-table size.
constexpr int32_t kMaxPenWidth = 32767;
void CheckEmfRecord(std::span<uint8_t> record, uint32_t handles);
// What becomes of a WMF record: played; left out (as the Linux converter
// skips such records); or, for an object GDI could not read safely, an
// empty brush in its place, so that the later objects keep their slots of
// the object table (as the Linux converter reserves one). `objects` is the
// header's object-table size.
enum TWmfRecordUse { wuPlay, wuSkip, wuPlaceholder };
TWmfRecordUse WmfRecordUse(std::span<const uint8_t> record, uint16_t objects);

class TMetafilePlayer {
public:
  explicit TMetafilePlayer(std::span<const uint8_t> bytes);
  ~TMetafilePlayer();
  TMetafilePlayer(const TMetafilePlayer&) = delete;
  TMetafilePlayer& operator=(const TMetafilePlayer&) = delete;

  TMetafileKind Kind() const noexcept { return FKind; }
  int Width() const noexcept { return FWidth; }
  int Height() const noexcept { return FHeight; }

  // A new sfArgb32 surface (premultiplied alpha) of width x height (both
  // > 0) with the whole picture scaled onto it; pixels the metafile does
  // not draw stay transparent (0).
  TSurfacePtr Render(int width, int height) const;

  // The platform's own form of the picture, defined by its backend.
  struct TPlatformPlayer;

private:
  TMetafileKind FKind = mkNone;
  int FWidth = 0;
  int FHeight = 0;
  std::unique_ptr<TPlatformPlayer> FPlatform;
};
