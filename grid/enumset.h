#pragma once

#include <cstdint>
#include <initializer_list>

// A set of values of a small enumeration whose values are the ordinals 0..31, as the grid's
// option and state sets are. Written {goEditing, goTabs} or built up with Include/Exclude.
template <class E>
class TEnumSet {
public:
    constexpr TEnumSet() = default;
    constexpr TEnumSet(std::initializer_list<E> items) {
        for (E e : items)
            bits_ |= Bit(e);
    }

    constexpr bool Contains(E e) const { return (bits_ & Bit(e)) != 0; }
    constexpr TEnumSet& Include(E e) {
        bits_ |= Bit(e);
        return *this;
    }
    constexpr TEnumSet& Exclude(E e) {
        bits_ &= ~Bit(e);
        return *this;
    }
    constexpr bool Empty() const { return bits_ == 0; }
    constexpr std::uint32_t Bits() const { return bits_; }

    constexpr TEnumSet operator+(E e) const { return TEnumSet(*this).Include(e); }
    constexpr TEnumSet operator-(E e) const { return TEnumSet(*this).Exclude(e); }
    constexpr TEnumSet operator+(TEnumSet o) const { return FromBits(bits_ | o.bits_); }
    constexpr TEnumSet operator-(TEnumSet o) const { return FromBits(bits_ & ~o.bits_); }
    constexpr TEnumSet operator*(TEnumSet o) const { return FromBits(bits_ & o.bits_); }
    constexpr bool operator==(const TEnumSet&) const = default;

    static constexpr TEnumSet FromBits(std::uint32_t b) {
        TEnumSet s;
        s.bits_ = b;
        return s;
    }

private:
    static constexpr std::uint32_t Bit(E e) { return std::uint32_t(1) << static_cast<unsigned>(e); }
    std::uint32_t bits_ = 0;
};
