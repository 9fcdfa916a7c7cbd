// The Levoy caster's shading cache: one entry per voxel, filled by the first ray
// of a run that reaches the voxel and used by every later one. It belongs to
// the renderer, not to the dataset, so that two views of one dataset keep their
// own.
#pragma once

#include <cstdint>

// One entry (8 bytes): the shaded colour and its opacity. Whether it belongs
// to the current run is kept apart, in the valid flags.
struct ShadeEntry {
    uint8_t red; // 0..255
    uint8_t green;
    uint8_t blue;
    uint8_t unused;
    float alpha;
};

class CShadeCache {
public:
    CShadeCache() = default;
    ~CShadeCache();
    CShadeCache(const CShadeCache&) = delete;
    CShadeCache& operator=(const CShadeCache&) = delete;

    // Makes the cache hold nVoxels entries (allocated anew only when the count
    // changes) and empties it. False, and no entries, when there is no memory.
    bool Fit(int32_t nVoxels);
    int32_t Size() const { return m_nCount; }
    // Empties the cache: every entry counts as empty afterwards. A run number
    // in the valid flags makes this cost nothing but a count on most runs; only
    // when the numbers are used up are all flags reset.
    void Clear();
    // The valid flag of an entry filled since the last Clear, with colour 0 and
    // opacity 0 (the entry itself is not written then), or with its colour and
    // opacity in m_pEntries; and of an entry claimed for filling. Any other
    // flag means empty.
    uint8_t Transparent() const { return m_nRun; }
    uint8_t Opaque() const { return static_cast<uint8_t>(m_nRun | OPAQUE_BIT); }
    uint8_t Claimed() const { return static_cast<uint8_t>(m_nRun | CLAIM_BIT); }
    bool IsFilled(int32_t k) const {
        return m_pValid[k] == Transparent() || m_pValid[k] == Opaque();
    }
    // The entry of voxel k as filled in this run (all zero when transparent).
    ShadeEntry Of(int32_t k) const {
        return m_pValid[k] == Opaque() ? m_pEntries[k] : ShadeEntry{0, 0, 0, 0, 0.0f};
    }

    ShadeEntry* m_pEntries = nullptr;
    uint8_t* m_pValid = nullptr;

private:
    static constexpr uint8_t CLAIM_BIT = 0x80;
    static constexpr uint8_t OPAQUE_BIT = 0x40;
    static constexpr uint8_t LAST_RUN = 0x3f;
    int32_t m_nCount = 0;
    uint8_t m_nRun = 1; // 1..LAST_RUN
};
