#pragma once

#include <cstddef>
#include <cstdint>

namespace tessaro::swf {

// A Flash movie, as the reader walks it. All integers little-endian.
//
// Header (8 bytes, never compressed):
//   signature  3 bytes   "FWS" plain, "CWS" zlib (version 6+), "ZWS" LZMA (version 13+)
//   version    u8
//   fileLength u32       length of the whole movie uncompressed, these 8 bytes included
// "CWS": everything after the header is one zlib stream.
// "ZWS": compressedLength u32 (LZMA data after the properties), the 5 LZMA
//   properties bytes (lc/lp/pb, dictionary size u32), then raw LZMA data, with
//   or without an end marker; it decodes to fileLength - 8 bytes.
//
// Uncompressed body:
//   frameSize  RECT      nbits u5, then xMin xMax yMin yMax as signed nbits
//                        each, in twips (1/20 pixel); padded to a byte
//   frameRate  u16       8.8 fixed point, frames a second
//   frameCount u16
//   tags ...             up to and including End
//
// Tag: codeAndLength u16 (code = value >> 6, length = value & 0x3f); a length
//   of 0x3f means a u32 length follows. The tag's body is that many bytes.
//
// Tags that hold code or movies:
//   DoAction (12)          actions
//   DoInitAction (59)      spriteId u16, actions
//   DefineSprite (39)      spriteId u16, frameCount u16, tags (its own timeline)
//   PlaceObject2 (26)      flags u8 [clipActions name ratio cxform matrix character move]
//                          depth u16, character u16?, MATRIX?, CXFORMWITHALPHA?,
//                          ratio u16?, name string?, clipDepth u16?, CLIPACTIONS?
//   PlaceObject3 (70)      flags u8 as above, flags2 u8 [- opaqueBackground visible
//                          image className cacheAsBitmap blendMode filterList],
//                          depth u16, className string?, then as PlaceObject2,
//                          then FILTERLIST?, blendMode u8?, bitmapCache u8?,
//                          visible u8?, background RGBA?, CLIPACTIONS?
//   DefineButton (7)       buttonId u16, BUTTONRECORDs up to a 0 byte, actions
//   DefineButton2 (34)     buttonId u16, flags u8, actionOffset u16 (from this field;
//                          0: none), then BUTTONCONDACTIONs: size u16 (0: last),
//                          conditions u16, actions
//   DoABC (72)             an ABC file;  DoABC2 (82): flags u32, name string, ABC file
//   DefineBinaryData (87)  tag u16, reserved u32, data (possibly a whole movie)
//   FileAttributes (69)    flags u32; 0x08 of the first byte: ActionScript 3
//
// CLIPACTIONS: reserved u16, allEventFlags (u16 before version 6, else u32), then
//   records: eventFlags (same width; 0 ends), size u32, keyCode u8 when the flags
//   hold KeyPress (counted in size), actions.
// Action: code u8; a code of 0x80 or more has length u16 and that many bytes of
//   data; code 0 ends a list. ConstantPool (0x88): count u16, strings. Push (0x96):
//   values of type u8: 0 string, 1 float(4), 2 null, 3 undefined, 4 register(1),
//   5 boolean(1), 6 double(8), 7 integer(4), 8 constant u8, 9 constant u16.
//   GetURL (0x83): url string, target string. Strings end with a 0 byte; UTF-8
//   from version 6, the local code page before.
// ImportAssets (57) and ImportAssets2 (71): the address of the movie whose
//   symbols are imported, a string; then (71 only: two reserved bytes) a u16
//   count of (u16 character id, name string).
// ABC file: minor u16, major u16, then the constant pool: ints, uints (u30 count,
//   count - 1 varints each), doubles (count - 1 of 8 bytes), strings (count - 1 of
//   u30 length + UTF-8). Varints: 7 bits a byte, low first, at most 5 bytes.

inline constexpr std::size_t kHeaderSize = 8;
inline constexpr std::size_t kLzmaHeaderSize = 17;  // header, compressedLength, properties

enum TagCode : std::uint16_t {
    kTagEnd = 0,
    kTagDefineButton = 7,
    kTagDoAction = 12,
    kTagPlaceObject2 = 26,
    kTagDefineButton2 = 34,
    kTagDefineSprite = 39,
    kTagImportAssets = 57,
    kTagDoInitAction = 59,
    kTagFileAttributes = 69,
    kTagPlaceObject3 = 70,
    kTagImportAssets2 = 71,
    kTagDoAbc = 72,
    kTagDoAbc2 = 82,
    kTagDefineBinaryData = 87,
};

enum ActionCode : std::uint8_t {
    kActionEnd = 0x00,
    kActionGetUrl = 0x83,
    kActionConstantPool = 0x88,
    kActionPush = 0x96,
    kActionGetUrl2 = 0x9a,
    kActionCallMethod = 0x52,
};

inline constexpr std::uint8_t kFileAttributeActionScript3 = 0x08;

}  // namespace tessaro::swf
