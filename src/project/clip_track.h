// One track of the project: an ordered list of clip records with its selected
// and edited positions. Pure logic; the track view (CCW_TimeLineView) wraps it,
// repaints and sends the notifications that go with each operation.
#pragma once

#include "project/media_file.h"

#include <cstddef>
#include <optional>

class CClipTrack {
public:
    using Pos = std::optional<std::size_t>;

    enum class Move { Forward, Backward, First, End };
    enum class MoveResult {
        Refused, // nothing selected or no neighbour: nothing changes, nothing is sent
        InPlace, // the clips already stand at that end: nothing changes, notifications still go out
        Moved,
    };
    struct DeleteResult {
        bool removedAny = false;
        bool removedEdited = false; // the clip open in the source preview went
    };

    const CMediaFileList& clips() const { return clips_; }
    std::size_t size() const { return clips_.size(); }
    bool empty() const { return clips_.empty(); }
    const CMediaFile& at(std::size_t pos) const { return clips_.at(pos); }
    // Mutable access for the view's trim drag; call Layout() afterwards.
    CMediaFile& at(std::size_t pos) { return clips_.at(pos); }

    Pos selectedPos() const { return selectedPos_; }
    Pos editedPos() const { return editedPos_; }
    // Positions outside the list are stored as none.
    void SetSelectedPos(Pos pos);
    void SetEditedPos(Pos pos);
    Pos lastPos() const { return clips_.empty() ? Pos() : Pos(clips_.size() - 1); }
    bool HasSelection() const;
    // Clears every clip's selected flag and selectedPos.
    void ClearSelection();

    // Sum of the clip lengths as of the last Layout().
    std::uint32_t totalLength() const { return totalLength_; }

    // Deselects every clip (selectedPos none) and appends a selected copy of
    // clip; returns its position. An empty record is refused.
    std::optional<std::size_t> Add(const CMediaFile& clip);
    // Deselects every clip and stores a selected copy of clip over the clip at
    // editedPos (which then also becomes selectedPos). False, and nothing stored,
    // without an editedPos or for an empty record.
    bool Replace(const CMediaFile& clip);
    // Moves the selected clips (in their order) one place or to an end;
    // selectedPos and editedPos follow the clips they named.
    MoveResult MoveSelection(Move move);
    // Takes the selected clips out (in their order) and puts them back right
    // after the clip at anchor, which must not be selected; selectedPos and
    // editedPos follow the clips they named.
    MoveResult MoveSelectionAfter(std::size_t anchor);
    // Moves one edge of the clip at pos by deltaMs: the left edge moves the
    // media start (not below 0) and shortens the clip by as much, the right
    // edge lengthens it. The length is then cut to what the source holds
    // after the media start and raised to at least kMinTrimLength. False for
    // a position outside the list.
    static constexpr std::uint32_t kMinTrimLength = 1000;
    bool TrimClip(std::size_t pos, bool leftEdge, std::int64_t deltaMs);
    // Removes every selected clip.
    DeleteResult DeleteSelected();
    // Empties the list; false when it was empty already.
    bool DeleteAll();
    // Removes every clip of that path (compared without regard to case);
    // returns how many went.
    std::size_t RemovePath(const QString& path);
    // Lays the clips back to back from 0 and sums totalLength.
    void Layout();

private:
    // Reorders the list: new position i holds the clip that stood at order[i].
    void Reorder(const std::vector<std::size_t>& order);
    // Positions of the selected clips, in order.
    std::vector<std::size_t> SelectedPositions() const;
    // Reorders by order and says whether anything moved.
    MoveResult ApplyMove(const std::vector<std::size_t>& order);
    // Removes the clips whose flag is set in doomed; keeps positions consistent.
    void RemoveWhere(const std::vector<bool>& doomed);

    CMediaFileList clips_;
    Pos selectedPos_;
    Pos editedPos_;
    std::uint32_t totalLength_ = 0;
};
