// The transfer function: a sorted list of control points and the 4096-entry
// lookup table rebuilt from it, plus the .trf file format.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

constexpr int TABLE_SIZE = 4096;

struct ControlPoint {
    int16_t position; // voxel value 0..4095
    float red;        // 0..1
    float green;
    float blue;
    float opacity; // 0..1
    ControlPoint* next;
};

struct TableEntry {
    float red; // 0..255
    float green;
    float blue;
    float opacity; // control-point opacity / 3547.5
};

class CTransferFunction {
public:
    // Two black, transparent end points at 0 and 4095; the table is zero-filled
    // and not built.
    CTransferFunction();
    virtual ~CTransferFunction();
    CTransferFunction(const CTransferFunction&) = delete;
    CTransferFunction& operator=(const CTransferFunction&) = delete;

    // Inserts a point in order, or replaces colour and opacity of the point at that
    // position. -1 (nothing changes) for a position outside 0..4095.
    int SetPoint(int16_t nPosition, float fRed, float fGreen, float fBlue, float fOpacity);
    // Unlinks and frees the point, except the first point and the points at 0 and
    // 4095, which stay (0). -1 for a point that is not in the list.
    int RemovePoint(ControlPoint* pPoint);
    // Drag step: clamps the opacity to 0..1 and sets it; takes the new position
    // only strictly between the neighbours. The first and the last point, and a
    // point at 0, do not change at all.
    int MovePoint(ControlPoint* pPoint, int16_t nPosition, float fOpacity);
    // The point whose successor pPoint is; null for the first point or a stranger.
    ControlPoint* FindPrevious(ControlPoint* pPoint) const;
    ControlPoint* GetFirstPoint() const { return m_pFirstPoint; }
    int Clear();
    // Rebuilds the table, announcing it before (false) and after (true) to the
    // rebuild listener, when there is one: whoever renders with the table stops
    // before and may start again after.
    int BuildTable();
    void SetRebuildListener(std::function<void(bool bDone)> listener) {
        m_OnRebuild = std::move(listener);
    }
    // The entry for a voxel value; the index is clamped to 0..4095.
    const TableEntry& Lookup(int16_t nValue) const {
        int i = nValue < 0 ? 0 : (nValue > TABLE_SIZE - 1 ? TABLE_SIZE - 1 : nValue);
        return m_Table[i];
    }
    // .trf files: bare little-endian 24-byte records, one per point.
    // Save replaces the file only once the whole new file is written (through
    // a link, the file it points to; the file's mode stays); -1 on any failure,
    // an existing file then stays as it was.
    int Save(const std::string& sPath) const;
    // Replaces the points by the file's and rebuilds the table. Records whose
    // position lies outside 0..4095, or whose colour or opacity is not a finite
    // number, are skipped; of records with the same position the last counts;
    // the points come out sorted. -1 when the file cannot be opened or read or
    // holds no usable record, and then the points and the table stay as they were.
    int Load(const std::string& sPath);
    // Replaces the points by these (their links are ignored) and rebuilds the
    // table, as Load does with a file's records: points outside 0..4095 or with
    // colour or opacity not a finite number are skipped, of points with the same
    // position the last counts, and they come out sorted. -1 when none is
    // usable, and then the points and the table stay as they were.
    int ReplacePoints(const std::vector<ControlPoint>& points);

    ControlPoint* m_pFirstPoint = nullptr;
    TableEntry m_Table[TABLE_SIZE] = {};

private:
    std::function<void(bool)> m_OnRebuild;
};
