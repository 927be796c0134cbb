// Painting of the update window's face: everything but the buttons and the notes view is drawn
// from the skin bitmaps and text, whole, into one off-screen bitmap per paint.
#include <algorithm>

#include "launch/lang_string.h"
#include "ui/dlg_update.h"
#include "ui/mem_dc.h"
#include "ui/resource_ids.h"

namespace {

using platform::Rect;

constexpr platform::Color kTextColor = platform::Rgb(255, 255, 255);
constexpr platform::Color kBarBack = platform::Rgb(255, 245, 217);
constexpr platform::Color kBarFrame = platform::Rgb(168, 145, 75);
constexpr platform::Color kColorKey = platform::Rgb(255, 0, 255);

constexpr Rect kGlyphNormal{0, 0, 28, 16};
constexpr Rect kGlyphHot{0, 16, 28, 32};
constexpr int kToggleCell = 14;
constexpr int kToggleHeight = 15;

Rect WholeOf(const platform::Bitmap& bitmap) {
    return Rect::FromSize({0, 0}, bitmap.GetSize());
}

}  // namespace

void CDlgUpdate::OnPaint() {
    platform::PaintScope paint(*this);
    const Rect client = ClientRect();
    CMemDCBuf mem(&paint.GetCanvas(), client);
    DrawSkin(mem.Dc());
}

void CDlgUpdate::DrawBitmap(platform::Canvas& dc, const platform::Bitmap* bitmap, const Rect& dest,
                            const Rect& source, bool keyed, platform::Color key) {
    if (bitmap == nullptr || bitmap->IsEmpty()) {
        return;
    }
    if (keyed) {
        dc.StretchKeyed(dest, *bitmap, source, key);
    } else {
        dc.Stretch(dest, *bitmap, source);
    }
}

void CDlgUpdate::DrawSkin(platform::Canvas& dc) {
    const Rect client = ClientRect();
    const platform::Bitmap& background = m_bCollapsed ? m_bmpCollapsed : m_bmpExpanded;
    DrawBitmap(dc, &background, client, WholeOf(background), false, kColorKey);

    const platform::Font* oldFont = dc.SelectFont(&m_fontText);
    dc.SetBackgroundMode(platform::BackgroundMode::kTransparent);
    dc.SelectFont(&m_fontBold);
    dc.SetTextColor(kTextColor);
    dc.DrawString(LoadLangString(IDS_TITLE), {32, 12, client.right, client.bottom}, DT_SINGLELINE);

    DrawBitmap(dc, &m_bmpSysButtons[0], m_rc[RC_MINIMIZE],
               m_nHover == RC_MINIMIZE ? kGlyphHot : kGlyphNormal, true, kColorKey);
    DrawBitmap(dc, &m_bmpSysButtons[1], m_rc[RC_CLOSE],
               m_nHover == RC_CLOSE ? kGlyphHot : kGlyphNormal, true, kColorKey);

    if (m_bNotesEnabled) {
        // Cells: tall window 0 and 1 (pointer over it), small window 2 and 3.
        const int cell = (m_bCollapsed ? 2 : 0) + (m_nHover == RC_TOGGLE ? 1 : 0);
        DrawBitmap(dc, &m_bmpToggle, m_rc[RC_TOGGLE],
                   {cell * kToggleCell, 0, (cell + 1) * kToggleCell, kToggleHeight}, true,
                   kColorKey);
    }

    switch (m_nState) {
        case STATE_LOADING:
            dc.SelectFont(&m_fontText);
            dc.DrawString(m_strStatus, m_rc[RC_STATUS], DT_SINGLELINE);
            break;
        case STATE_READY:
            dc.SelectFont(&m_fontText);
            dc.DrawString(m_strStatus, m_rc[RC_STATUS], DT_SINGLELINE);
            dc.SelectFont(&m_fontBold);
            dc.DrawString(m_strLabel, m_rc[RC_LABEL], DT_SINGLELINE);
            break;
        case STATE_DOWNLOADING:
        case STATE_COMPLETE:
        case STATE_FAILED:
            dc.SelectFont(&m_fontText);
            dc.DrawString(m_strStatus + L"  " + m_strPercent, m_rc[RC_STATUS], DT_SINGLELINE);
            DrawProgressBar(dc);
            dc.SelectFont(&m_fontBold);
            dc.DrawString(m_strLabel, m_rc[RC_LABEL], DT_SINGLELINE);
            break;
        default:
            break;
    }
    dc.SelectFont(oldFont);
}

void CDlgUpdate::DrawProgressBar(platform::Canvas& dc) {
    const Rect& bar = m_rc[RC_PROGRESS];
    dc.Fill(bar, kBarBack);
    dc.Frame(bar, kBarFrame);
    // At a fraction of 1 the fill covers exactly the inside of the frame; above 1 it runs on
    // past the frame.
    const double x = (bar.Width() - 1) * static_cast<double>(m_fProgress) + bar.left;
    const int right = static_cast<int>(std::clamp(x, -1e9, 1e9));
    if (right > bar.left + 1) {
        DrawBitmap(dc, &m_bmpProgress, {bar.left + 1, bar.top + 1, right, bar.bottom - 1},
                   WholeOf(m_bmpProgress), false, kColorKey);
    }
}
