#include "transfer/TransferFunction.h"

#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "platform/AtomicFile.h"

namespace {

constexpr int TRF_RECORD_SIZE = 24;
// Opacity in the table is pre-divided by 3547.5; this is 1/3547.5 as a float.
constexpr float OPACITY_SCALE = static_cast<float>(1.0 / 3547.5);
// Link word of every record but the last (the last one carries 0).
constexpr uint32_t LINK_WORD_FOLLOWS = 1;

// Rounds to single precision through memory. GCC 12 at -O2 vectorises the four
// slope computations of BuildTable together and then loses a plain float
// conversion: the slopes would enter the entries unrounded and the table would
// differ from the one the float slopes give.
float RoundToFloat(double d) {
    volatile float f = static_cast<float>(d);
    return f;
}

bool InTable(int nPosition) {
    return nPosition >= 0 && nPosition < TABLE_SIZE;
}

void Put32(unsigned char* p, uint32_t n) {
    p[0] = static_cast<unsigned char>(n);
    p[1] = static_cast<unsigned char>(n >> 8);
    p[2] = static_cast<unsigned char>(n >> 16);
    p[3] = static_cast<unsigned char>(n >> 24);
}

uint32_t Get32(const unsigned char* p) {
    return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
           (static_cast<uint32_t>(p[2]) << 16) | (static_cast<uint32_t>(p[3]) << 24);
}

void PutFloat(unsigned char* p, float f) {
    uint32_t n;
    std::memcpy(&n, &f, sizeof(n));
    Put32(p, n);
}

float GetFloat(const unsigned char* p) {
    const uint32_t n = Get32(p);
    float f;
    std::memcpy(&f, &n, sizeof(f));
    return f;
}

// One 24-byte record: position, two zero padding bytes, red, green, blue,
// opacity, link word.
void EncodeRecord(const ControlPoint& point, unsigned char* p) {
    std::memset(p, 0, TRF_RECORD_SIZE);
    const uint16_t nPosition = static_cast<uint16_t>(point.position);
    p[0] = static_cast<unsigned char>(nPosition);
    p[1] = static_cast<unsigned char>(nPosition >> 8);
    PutFloat(p + 4, point.red);
    PutFloat(p + 8, point.green);
    PutFloat(p + 12, point.blue);
    PutFloat(p + 16, point.opacity);
    Put32(p + 20, point.next ? LINK_WORD_FOLLOWS : 0);
}

// A record's position, colour and opacity as a point (not linked).
ControlPoint DecodeRecord(const unsigned char* p) {
    ControlPoint r{};
    r.position = static_cast<int16_t>(static_cast<uint16_t>(p[0] | (p[1] << 8)));
    r.red = GetFloat(p + 4);
    r.green = GetFloat(p + 8);
    r.blue = GetFloat(p + 12);
    r.opacity = GetFloat(p + 16);
    return r;
}

// Whether a point can enter the list: a position inside the table and colour
// and opacity that are numbers.
bool IsUsable(const ControlPoint& r) {
    return InTable(r.position) && std::isfinite(r.red) && std::isfinite(r.green) &&
           std::isfinite(r.blue) && std::isfinite(r.opacity);
}

} // namespace

CTransferFunction::CTransferFunction() {
    SetPoint(0, 0.0f, 0.0f, 0.0f, 0.0f);
    SetPoint(TABLE_SIZE - 1, 0.0f, 0.0f, 0.0f, 0.0f);
}

CTransferFunction::~CTransferFunction() {
    Clear();
}

int CTransferFunction::SetPoint(int16_t nPosition, float fRed, float fGreen, float fBlue,
                                float fOpacity) {
    // A point outside the table could never be classified; the list holds none.
    if (!InTable(nPosition))
        return -1;
    ControlPoint* pPoint = m_pFirstPoint;
    if (!pPoint || nPosition < pPoint->position) {
        m_pFirstPoint = new ControlPoint{nPosition, fRed, fGreen, fBlue, fOpacity, pPoint};
        return 0;
    }
    for (;;) {
        if (pPoint->position == nPosition) {
            pPoint->red = fRed;
            pPoint->green = fGreen;
            pPoint->blue = fBlue;
            pPoint->opacity = fOpacity;
            return 0;
        }
        ControlPoint* pNext = pPoint->next;
        if (!pNext || (nPosition > pPoint->position && nPosition < pNext->position)) {
            pPoint->next = new ControlPoint{nPosition, fRed, fGreen, fBlue, fOpacity, pNext};
            return 0;
        }
        pPoint = pNext;
    }
}

int CTransferFunction::RemovePoint(ControlPoint* pPoint) {
    if (!pPoint)
        return -1;
    if (pPoint == m_pFirstPoint || pPoint->position == 0 || pPoint->position == TABLE_SIZE - 1)
        return 0;
    ControlPoint* pPrevious = FindPrevious(pPoint);
    if (!pPrevious)
        return -1; // not one of ours: neither unlinked nor freed
    pPrevious->next = pPoint->next;
    delete pPoint;
    return 0;
}

int CTransferFunction::MovePoint(ControlPoint* pPoint, int16_t nPosition, float fOpacity) {
    if (!pPoint)
        return -1;
    if (fOpacity > 1.0f)
        fOpacity = 1.0f;
    else if (!(fOpacity >= 0.0f))
        fOpacity = 0.0f; // below 0, or not a number
    if (pPoint == m_pFirstPoint || !pPoint->next || pPoint->position == 0)
        return 0;
    const ControlPoint* pPrevious = FindPrevious(pPoint);
    if (!pPrevious)
        return -1; // not in this list
    if (nPosition > pPrevious->position && nPosition < pPoint->next->position)
        pPoint->position = nPosition;
    pPoint->opacity = fOpacity;
    return 0;
}

ControlPoint* CTransferFunction::FindPrevious(ControlPoint* pPoint) const {
    if (!pPoint)
        return nullptr;
    for (ControlPoint* p = m_pFirstPoint; p; p = p->next) {
        if (p->next == pPoint)
            return p;
    }
    return nullptr;
}

int CTransferFunction::Clear() {
    ControlPoint* p = m_pFirstPoint;
    m_pFirstPoint = nullptr;
    while (p) {
        ControlPoint* pNext = p->next;
        delete p;
        p = pNext;
    }
    return 0;
}

int CTransferFunction::BuildTable() {
    if (m_OnRebuild)
        m_OnRebuild(false);

    const ControlPoint* pLast = nullptr;
    for (const ControlPoint* p = m_pFirstPoint; p; p = p->next) {
        pLast = p;
        const ControlPoint* q = p->next;
        if (!q)
            break;
        const double d = static_cast<double>(q->position) - p->position;
        // Slopes rounded to float; each entry is then computed in double from them
        // and rounded once when stored.
        const double sRed = RoundToFloat((static_cast<double>(q->red) - p->red) / d * 255.0);
        const double sGreen = RoundToFloat((static_cast<double>(q->green) - p->green) / d * 255.0);
        const double sBlue = RoundToFloat((static_cast<double>(q->blue) - p->blue) / d * 255.0);
        const double sOpacity =
            RoundToFloat((static_cast<double>(q->opacity) - p->opacity) / (d * 3547.5));
        const double dRed = static_cast<double>(p->red) * 255.0;
        const double dGreen = static_cast<double>(p->green) * 255.0;
        const double dBlue = static_cast<double>(p->blue) * 255.0;
        const double dOpacity = static_cast<double>(p->opacity) * OPACITY_SCALE;
        const int nFrom = p->position < 0 ? 0 : p->position;
        const int nTo = q->position > TABLE_SIZE ? TABLE_SIZE : q->position; // exclusive
        for (int i = nFrom; i < nTo; ++i) {
            const double k = i - p->position;
            TableEntry& e = m_Table[i];
            e.red = static_cast<float>(k * sRed + dRed);
            e.green = static_cast<float>(k * sGreen + dGreen);
            e.blue = static_cast<float>(k * sBlue + dBlue);
            e.opacity = static_cast<float>(k * sOpacity + dOpacity);
        }
    }
    if (pLast && InTable(pLast->position)) {
        TableEntry& e = m_Table[pLast->position];
        e.red = static_cast<float>(static_cast<double>(pLast->red) * 255.0);
        e.green = static_cast<float>(static_cast<double>(pLast->green) * 255.0);
        e.blue = static_cast<float>(static_cast<double>(pLast->blue) * 255.0);
        e.opacity = static_cast<float>(static_cast<double>(pLast->opacity) * OPACITY_SCALE);
    }

    if (m_OnRebuild)
        m_OnRebuild(true);
    return 0;
}

int CTransferFunction::Save(const std::string& sPath) const {
    // Only a complete new file replaces the target, so a failure never damages
    // an existing one.
    const int nError = WriteFileAtomically(sPath, [this](std::FILE* pFile) {
        unsigned char record[TRF_RECORD_SIZE];
        for (const ControlPoint* p = m_pFirstPoint; p; p = p->next) {
            EncodeRecord(*p, record);
            if (std::fwrite(record, 1, TRF_RECORD_SIZE, pFile) != TRF_RECORD_SIZE)
                return false;
        }
        return true;
    });
    return nError == 0 ? 0 : -1;
}

int CTransferFunction::Load(const std::string& sPath) {
    std::FILE* pFile = std::fopen(sPath.c_str(), "rb");
    if (!pFile)
        return -1;
    std::vector<ControlPoint> records;
    unsigned char record[TRF_RECORD_SIZE];
    while (std::fread(record, 1, TRF_RECORD_SIZE, pFile) == TRF_RECORD_SIZE)
        records.push_back(DecodeRecord(record));
    const bool bReadError = std::ferror(pFile) != 0;
    std::fclose(pFile);
    // A file that cannot be read to its end (e.g. a directory), or that holds no
    // usable point, is no transfer function.
    if (bReadError)
        return -1;
    return ReplacePoints(records);
}

int CTransferFunction::ReplacePoints(const std::vector<ControlPoint>& points) {
    // Every point takes the place of its position, so a later point replaces
    // an earlier one of the same position, as SetPoint would; the places come
    // out sorted. The current function stays until all are taken.
    std::vector<ControlPoint> places(TABLE_SIZE);
    std::vector<bool> used(TABLE_SIZE, false);
    bool bAny = false;
    for (const ControlPoint& r : points) {
        if (!IsUsable(r))
            continue;
        places[r.position] = r;
        used[r.position] = true;
        bAny = true;
    }
    if (!bAny)
        return -1;

    Clear();
    ControlPoint** ppNext = &m_pFirstPoint;
    for (int i = 0; i < TABLE_SIZE; ++i) {
        if (!used[i])
            continue;
        const ControlPoint& r = places[i];
        *ppNext = new ControlPoint{r.position, r.red, r.green, r.blue, r.opacity, nullptr};
        ppNext = &(*ppNext)->next;
    }
    BuildTable();
    return 0;
}
