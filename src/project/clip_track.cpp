#include "project/clip_track.h"

#include <algorithm>
#include <numeric>

namespace {
// The list grows in blocks of ten records.
constexpr std::size_t kBlock = 10;
} // namespace

void CClipTrack::SetSelectedPos(Pos pos)
{
    selectedPos_ = (pos && *pos < clips_.size()) ? pos : Pos();
}

void CClipTrack::SetEditedPos(Pos pos)
{
    editedPos_ = (pos && *pos < clips_.size()) ? pos : Pos();
}

bool CClipTrack::HasSelection() const
{
    return std::any_of(clips_.begin(), clips_.end(), [](const CMediaFile& c) { return c.IsSelected(); });
}

void CClipTrack::ClearSelection()
{
    for (auto& clip : clips_)
        clip.SetSelected(false);
    selectedPos_.reset();
}

std::optional<std::size_t> CClipTrack::Add(const CMediaFile& clip)
{
    if (clip.IsEmpty())
        return std::nullopt;
    ClearSelection();
    if (clips_.size() == clips_.capacity())
        clips_.reserve(clips_.size() + kBlock);
    clips_.push_back(clip);
    clips_.back().SetSelected(true);
    return clips_.size() - 1;
}

bool CClipTrack::Replace(const CMediaFile& clip)
{
    if (clip.IsEmpty())
        return false;
    ClearSelection();
    if (!editedPos_)
        return false;
    CMediaFile copy = clip;
    copy.SetSelected(true);
    clips_[*editedPos_].Assign(copy);
    selectedPos_ = editedPos_;
    return true;
}

std::vector<std::size_t> CClipTrack::SelectedPositions() const
{
    std::vector<std::size_t> chosen;
    for (std::size_t i = 0; i < clips_.size(); ++i) {
        if (clips_[i].IsSelected())
            chosen.push_back(i);
    }
    return chosen;
}

CClipTrack::MoveResult CClipTrack::ApplyMove(const std::vector<std::size_t>& order)
{
    bool same = true;
    for (std::size_t i = 0; i < order.size(); ++i)
        same = same && order[i] == i;
    if (same)
        return MoveResult::InPlace;
    Reorder(order);
    return MoveResult::Moved;
}

CClipTrack::MoveResult CClipTrack::MoveSelection(Move move)
{
    const std::size_t n = clips_.size();
    const std::vector<std::size_t> chosen = SelectedPositions();
    if (chosen.empty())
        return MoveResult::Refused;

    std::vector<std::size_t> order(n);
    std::iota(order.begin(), order.end(), 0);
    switch (move) {
    case Move::Forward:
        if (chosen.front() == 0)
            return MoveResult::Refused;
        // Each selected clip trades places with the clip before it (walking
        // from the start, so a run of selected clips moves as a block).
        for (std::size_t i : chosen)
            std::swap(order[i - 1], order[i]);
        break;
    case Move::Backward:
        if (chosen.back() == n - 1)
            return MoveResult::Refused;
        for (auto it = chosen.rbegin(); it != chosen.rend(); ++it)
            std::swap(order[*it], order[*it + 1]);
        break;
    case Move::First:
    case Move::End: {
        if (n < 2)
            return MoveResult::Refused;
        std::vector<std::size_t> rest;
        for (std::size_t i = 0; i < n; ++i) {
            if (!clips_[i].IsSelected())
                rest.push_back(i);
        }
        order.clear();
        if (move == Move::First) {
            order = chosen;
            order.insert(order.end(), rest.begin(), rest.end());
        } else {
            order = rest;
            order.insert(order.end(), chosen.begin(), chosen.end());
        }
        break;
    }
    }
    return ApplyMove(order);
}

CClipTrack::MoveResult CClipTrack::MoveSelectionAfter(std::size_t anchor)
{
    const std::size_t n = clips_.size();
    if (anchor >= n || clips_[anchor].IsSelected())
        return MoveResult::Refused;
    const std::vector<std::size_t> chosen = SelectedPositions();
    std::vector<std::size_t> order;
    if (chosen.empty())
        return MoveResult::Refused;
    for (std::size_t i = 0; i < n; ++i) {
        if (clips_[i].IsSelected())
            continue;
        order.push_back(i);
        if (i == anchor)
            order.insert(order.end(), chosen.begin(), chosen.end());
    }
    return ApplyMove(order);
}

bool CClipTrack::TrimClip(std::size_t pos, bool leftEdge, std::int64_t deltaMs)
{
    if (pos >= clips_.size())
        return false;
    CMediaFile& clip = clips_[pos];
    std::int64_t start = clip.mediaStart();
    std::int64_t length = clip.length();
    if (leftEdge) {
        deltaMs = std::max(deltaMs, -start);
        start += deltaMs;
        length -= deltaMs;
    } else {
        length += deltaMs;
    }
    start = std::min<std::int64_t>(start, clip.sourceLength());
    length = std::min<std::int64_t>(length, std::int64_t(clip.sourceLength()) - start);
    length = std::max<std::int64_t>(length, kMinTrimLength);
    return clip.SetTrim(std::uint32_t(start), std::uint32_t(std::min<std::int64_t>(length, UINT32_MAX)));
}

void CClipTrack::Reorder(const std::vector<std::size_t>& order)
{
    CMediaFileList moved;
    moved.reserve(clips_.capacity());
    std::vector<std::size_t> newPosOf(order.size());
    for (std::size_t i = 0; i < order.size(); ++i) {
        moved.push_back(clips_[order[i]]);
        newPosOf[order[i]] = i;
    }
    clips_.swap(moved);
    if (selectedPos_)
        selectedPos_ = newPosOf[*selectedPos_];
    if (editedPos_)
        editedPos_ = newPosOf[*editedPos_];
}

void CClipTrack::RemoveWhere(const std::vector<bool>& doomed)
{
    // Positions after removed clips slide down; a position whose clip goes
    // becomes none.
    auto follow = [&](Pos& pos) {
        if (!pos)
            return;
        if (doomed[*pos]) {
            pos.reset();
            return;
        }
        *pos -= std::count(doomed.begin(), doomed.begin() + static_cast<std::ptrdiff_t>(*pos), true);
    };
    follow(selectedPos_);
    follow(editedPos_);
    CMediaFileList kept;
    kept.reserve(clips_.capacity());
    for (std::size_t i = 0; i < clips_.size(); ++i) {
        if (!doomed[i])
            kept.push_back(clips_[i]);
    }
    clips_.swap(kept);
}

CClipTrack::DeleteResult CClipTrack::DeleteSelected()
{
    DeleteResult result;
    std::vector<bool> doomed(clips_.size(), false);
    for (std::size_t i = 0; i < clips_.size(); ++i) {
        if (clips_[i].IsSelected()) {
            doomed[i] = true;
            result.removedAny = true;
            if (editedPos_ == i)
                result.removedEdited = true;
        }
    }
    if (result.removedAny)
        RemoveWhere(doomed);
    return result;
}

bool CClipTrack::DeleteAll()
{
    if (clips_.empty())
        return false;
    clips_.clear();
    totalLength_ = 0;
    selectedPos_.reset();
    editedPos_.reset();
    return true;
}

std::size_t CClipTrack::RemovePath(const QString& path)
{
    std::vector<bool> doomed(clips_.size(), false);
    std::size_t count = 0;
    for (std::size_t i = 0; i < clips_.size(); ++i) {
        if (clips_[i].path().compare(path, Qt::CaseInsensitive) == 0) {
            doomed[i] = true;
            ++count;
        }
    }
    if (count)
        RemoveWhere(doomed);
    return count;
}

void CClipTrack::Layout()
{
    std::uint32_t sum = 0;
    for (auto& clip : clips_) {
        clip.SetTimelineStart(sum);
        sum += clip.length();
    }
    totalLength_ = sum;
}
