// Little-endian wire codec for the MPU's packed records.
//
// Every record is a plain struct with natural field types, a `kSize`
// constant and a static `fields(visitor, record)` function that names each
// field with its byte offset inside the record. The generic encoder,
// decoder and layout check below walk that list, so each offset is written
// exactly once. Records are packed on the wire: fields follow each other
// without padding and a multi-byte integer may sit at an odd offset.
#pragma once

#include <algorithm>
#include <array>
#include <concepts>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <optional>
#include <span>
#include <string>
#include <tuple>
#include <type_traits>
#include <vector>

namespace mpu::wire {

using Bytes = std::span<const std::uint8_t>;
using MutableBytes = std::span<std::uint8_t>;

// ---------------------------------------------------------------------------
// Integers at an offset. Callers check the bounds; these only shift bytes.

template <class T>
constexpr T GetLE(const std::uint8_t* p) {
  using U = std::make_unsigned_t<T>;
  U v = 0;
  for (std::size_t i = 0; i < sizeof(T); ++i) v = static_cast<U>(v | (U(p[i]) << (8 * i)));
  return static_cast<T>(v);
}

template <class T>
constexpr void PutLE(std::uint8_t* p, T value) {
  using U = std::make_unsigned_t<T>;
  const U v = static_cast<U>(value);
  for (std::size_t i = 0; i < sizeof(T); ++i) p[i] = static_cast<std::uint8_t>(v >> (8 * i));
}

// Bounds-checked reads for code that parses raw buffers field by field.
template <class T>
constexpr std::optional<T> ReadLE(Bytes in, std::size_t offset) {
  if (offset > in.size() || in.size() - offset < sizeof(T)) return std::nullopt;
  return GetLE<T>(in.data() + offset);
}

template <class T>
constexpr bool WriteLE(MutableBytes out, std::size_t offset, T value) {
  if (offset > out.size() || out.size() - offset < sizeof(T)) return false;
  PutLE<T>(out.data() + offset, value);
  return true;
}

// ---------------------------------------------------------------------------
// Field kinds a record may hold.

template <class T>
concept Record = requires {
  { T::kSize } -> std::convertible_to<std::size_t>;
};

template <class T>
struct IsStdArray : std::false_type {};
template <class E, std::size_t N>
struct IsStdArray<std::array<E, N>> : std::true_type {};

template <class T>
concept WireInteger = std::is_integral_v<T> && !std::is_same_v<T, bool>;

// Number of bytes a field occupies on the wire.
template <class T>
constexpr std::size_t WireSize() {
  if constexpr (std::is_same_v<T, bool>) {
    return 1;
  } else if constexpr (WireInteger<T>) {
    return sizeof(T);
  } else if constexpr (Record<T>) {
    return T::kSize;
  } else if constexpr (IsStdArray<T>::value) {
    return std::tuple_size_v<T> * WireSize<typename T::value_type>();
  } else {
    static_assert(sizeof(T) == 0, "unsupported wire field type");
    return 0;
  }
}

// ---------------------------------------------------------------------------
// Visitors. `fields` calls visitor(offset, name, field) for each field.

// Writes fields into `out`, which the caller has sized to the record.
struct Writer {
  std::uint8_t* base;

  template <class T>
  constexpr void operator()(std::size_t offset, const char* /*name*/, const T& field) const {
    std::uint8_t* p = base + offset;
    if constexpr (std::is_same_v<T, bool>) {
      // Booleans travel as one byte; senders write 1 for true.
      *p = field ? 1 : 0;
    } else if constexpr (WireInteger<T>) {
      PutLE<T>(p, field);
    } else if constexpr (Record<T>) {
      T::fields(Writer{p}, field);
    } else {
      using E = typename T::value_type;
      constexpr std::size_t stride = WireSize<E>();
      for (std::size_t i = 0; i < field.size(); ++i) (*this)(offset + i * stride, nullptr, field[i]);
    }
  }
};

// Reads fields from `base`, which the caller has checked holds the record.
struct Reader {
  const std::uint8_t* base;

  template <class T>
  constexpr void operator()(std::size_t offset, const char* /*name*/, T& field) const {
    const std::uint8_t* p = base + offset;
    if constexpr (std::is_same_v<T, bool>) {
      field = *p != 0;  // any non-zero byte is true
    } else if constexpr (WireInteger<T>) {
      field = GetLE<T>(p);
    } else if constexpr (Record<T>) {
      T::fields(Reader{p}, field);
    } else {
      using E = typename T::value_type;
      constexpr std::size_t stride = WireSize<E>();
      for (std::size_t i = 0; i < field.size(); ++i) (*this)(offset + i * stride, nullptr, field[i]);
    }
  }
};

// Checks at compile time that the fields follow each other without gap or
// overlap in declaration order and end exactly at kSize.
struct LayoutCheck {
  std::size_t next = 0;
  bool contiguous = true;

  template <class T>
  constexpr void operator()(std::size_t offset, const char* /*name*/, const T& /*field*/) {
    if (offset != next) contiguous = false;
    next = offset + WireSize<T>();
  }
};

// Collects each top-level field's name, offset and size (for tests and
// for decoding frames into readable text).
struct FieldInfo {
  const char* Name;
  std::size_t Offset;
  std::size_t Size;
};

struct FieldCollector {
  std::vector<FieldInfo> fields;

  template <class T>
  void operator()(std::size_t offset, const char* name, const T& /*field*/) {
    fields.push_back({name, offset, WireSize<T>()});
  }
};

template <Record R>
std::vector<FieldInfo> FieldsOf() {
  R r{};
  FieldCollector c;
  R::fields(c, r);
  return c.fields;
}

template <Record R>
constexpr bool IsContiguous() {
  R r{};
  LayoutCheck check;
  R::fields(check, r);
  return check.contiguous && check.next == R::kSize;
}

// ---------------------------------------------------------------------------
// Whole-record encode and decode.

// Writes the record's kSize bytes at the start of `out`. Returns false, and
// writes nothing, when `out` is too small.
template <Record R>
constexpr bool Encode(const R& record, MutableBytes out) {
  if (out.size() < R::kSize) return false;
  std::fill_n(out.data(), R::kSize, std::uint8_t{0});
  R::fields(Writer{out.data()}, record);
  return true;
}

template <Record R>
std::array<std::uint8_t, R::kSize> EncodeToArray(const R& record) {
  std::array<std::uint8_t, R::kSize> out{};
  R::fields(Writer{out.data()}, record);
  return out;
}

// Reads a record from the start of `in`; nullopt when `in` is shorter than
// the record, so a short buffer never yields a half-filled record.
template <Record R>
constexpr std::optional<R> Decode(Bytes in) {
  if (in.size() < R::kSize) return std::nullopt;
  R r{};
  R::fields(Reader{in.data()}, r);
  return r;
}

// Fixed-width single-byte text field helpers (ISO 8859-1 bytes, NUL padded).
template <std::size_t N>
using Chars = std::array<std::uint8_t, N>;

// The bytes of a text field up to its first NUL (or the whole field).
template <std::size_t N>
std::string CharsToLatin1(const Chars<N>& field) {
  std::size_t len = 0;
  while (len < N && field[len] != 0) ++len;
  return std::string(reinterpret_cast<const char*>(field.data()), len);
}

}  // namespace mpu::wire
