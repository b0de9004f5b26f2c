#include "platform/system_volume.h"

#include <alsa/asoundlib.h>

#include <vector>

// One open simple-mixer handle with its elements loaded.
class CAlsaMixer {
public:
    ~CAlsaMixer()
    {
        if (handle_)
            snd_mixer_close(handle_);
    }

    bool open(const QString& device)
    {
        if (snd_mixer_open(&handle_, 0) < 0) {
            handle_ = nullptr;
            return false;
        }
        const QByteArray name = device.toUtf8();
        return snd_mixer_attach(handle_, name.constData()) >= 0
            && snd_mixer_selem_register(handle_, nullptr, nullptr) >= 0 && snd_mixer_load(handle_) >= 0;
    }

    snd_mixer_elem_t* find(const char* name) const
    {
        snd_mixer_selem_id_t* id = nullptr;
        snd_mixer_selem_id_alloca(&id);
        snd_mixer_selem_id_set_index(id, 0);
        snd_mixer_selem_id_set_name(id, name);
        return snd_mixer_find_selem(handle_, id);
    }

    std::vector<snd_mixer_elem_t*> elements() const
    {
        std::vector<snd_mixer_elem_t*> all;
        for (snd_mixer_elem_t* e = snd_mixer_first_elem(handle_); e; e = snd_mixer_elem_next(e))
            if (snd_mixer_selem_is_active(e))
                all.push_back(e);
        return all;
    }

    void update() const { snd_mixer_handle_events(handle_); }

private:
    snd_mixer_t* handle_ = nullptr;
};

// ---- master volume ----

CSystemVolumeCtrl::CSystemVolumeCtrl() = default;
CSystemVolumeCtrl::~CSystemVolumeCtrl() = default;

long CSystemVolumeCtrl::ToSteps(long value65535, long maximum)
{
    return long((long long)value65535 * maximum + 32767) / 65535;
}

int CSystemVolumeCtrl::OpenMixer(const QString& device)
{
    mixer_.reset();
    maximum_ = volume_ = 0;
    device_ = device;
    auto mixer = std::make_unique<CAlsaMixer>();
    if (!mixer->open(device))
        return 0;
    snd_mixer_elem_t* master = mixer->find("Master");
    if (!master || !snd_mixer_selem_has_playback_volume(master))
        return 0;
    mixer_ = std::move(mixer);
    if (!Refresh()) {
        mixer_.reset();
        return 0;
    }
    return 1;
}

bool CSystemVolumeCtrl::Refresh()
{
    if (!mixer_)
        return false;
    // A fresh handle: a sound server's mixer reports changes late.
    auto fresh = std::make_unique<CAlsaMixer>();
    if (fresh->open(device_))
        mixer_ = std::move(fresh);
    snd_mixer_elem_t* master = mixer_->find("Master");
    long low = 0, high = 0;
    if (!master || snd_mixer_selem_get_playback_volume_range(master, &low, &high) < 0 || high <= low)
        return false;
    maximum_ = std::min(high - low, kMaxSteps);
    // With several channels the last one counts.
    long raw = low;
    for (int c = 0; c <= SND_MIXER_SCHN_LAST; ++c) {
        const auto channel = snd_mixer_selem_channel_id_t(c);
        long v = 0;
        if (snd_mixer_selem_has_playback_channel(master, channel)
            && snd_mixer_selem_get_playback_volume(master, channel, &v) >= 0)
            raw = v;
    }
    const long value65535 = long((long long)(raw - low) * 65535 / (high - low));
    volume_ = ToSteps(value65535, maximum_);
    return true;
}

// ---- capture source ----

CCaptureSourceCtrl::CCaptureSourceCtrl() = default;
CCaptureSourceCtrl::~CCaptureSourceCtrl() = default;

bool CCaptureSourceCtrl::IsWaveMixName(const QString& name)
{
    const QString upper = name.toUpper();
    for (const char* word : { "WAVE", "웨이브", "MIX", "믹스", "OUT", "출력" })
        if (upper.contains(QString::fromUtf8(word)))
            return true;
    return false;
}

bool CCaptureSourceCtrl::IsMicName(const QString& name)
{
    const QString upper = name.toUpper();
    return upper.contains(QLatin1String("MIC")) || upper.contains(QString::fromUtf8("마이크"));
}

CCaptureSourceCtrl::SourceChoice CCaptureSourceCtrl::ChooseItems(const QList<SourceItem>& items)
{
    SourceChoice choice;
    int lastMicText = -1;
    for (int i = 0; i < items.size(); ++i) {
        const SourceItem& item = items[i];
        if (item.line == LineType::Microphone)
            choice.mic = i;
        if (choice.waveMix < 0 && (item.line == LineType::WaveOut || IsWaveMixName(item.text)))
            choice.waveMix = i;
        if (IsMicName(item.text))
            choice.mic = lastMicText = i;
    }
    if (choice.waveMix < 0)
        choice.waveMix = lastMicText;
    return choice;
}

namespace {
// The mixer form: the elements with a capture switch, in order.
std::vector<snd_mixer_elem_t*> CaptureSwitches(const std::vector<snd_mixer_elem_t*>& all)
{
    std::vector<snd_mixer_elem_t*> found;
    for (snd_mixer_elem_t* e : all)
        if (snd_mixer_selem_has_capture_switch(e))
            found.push_back(e);
    return found;
}

snd_mixer_elem_t* CaptureEnum(const std::vector<snd_mixer_elem_t*>& all)
{
    for (snd_mixer_elem_t* e : all)
        if (snd_mixer_selem_is_enum_capture(e))
            return e;
    return nullptr;
}
} // namespace

bool CCaptureSourceCtrl::Open(const QString& device)
{
    mixer_.reset();
    kind_ = Kind::None;
    items_.clear();
    waveMix_ = mic_ = -1;
    auto mixer = std::make_unique<CAlsaMixer>();
    if (!mixer->open(device))
        return false;
    const auto all = mixer->elements();
    if (snd_mixer_elem_t* mux = CaptureEnum(all)) {
        kind_ = Kind::Multiplexer;
        const int n = snd_mixer_selem_get_enum_items(mux);
        for (int i = 0; i < n; ++i) {
            char name[128] = {};
            snd_mixer_selem_get_enum_item_name(mux, unsigned(i), sizeof name - 1, name);
            items_.append(QString::fromUtf8(name));
        }
    } else {
        const auto switches = CaptureSwitches(all);
        if (switches.size() < 2)
            return false;
        kind_ = Kind::Mixer;
        for (snd_mixer_elem_t* e : switches)
            items_.append(QString::fromUtf8(snd_mixer_selem_get_name(e)));
    }
    QList<SourceItem> items;
    for (const QString& text : items_)
        items.append({ text, LineType::Other });
    const SourceChoice choice = ChooseItems(items);
    waveMix_ = choice.waveMix;
    mic_ = choice.mic;
    mixer_ = std::move(mixer);
    return !items_.isEmpty();
}

QList<bool> CCaptureSourceCtrl::Values() const
{
    QList<bool> values;
    if (!mixer_)
        return values;
    mixer_->update();
    const auto all = mixer_->elements();
    if (kind_ == Kind::Multiplexer) {
        snd_mixer_elem_t* mux = CaptureEnum(all);
        unsigned current = 0;
        if (!mux || snd_mixer_selem_get_enum_item(mux, SND_MIXER_SCHN_FRONT_LEFT, &current) < 0)
            return values;
        for (int i = 0; i < items_.size(); ++i)
            values.append(unsigned(i) == current);
    } else if (kind_ == Kind::Mixer) {
        for (snd_mixer_elem_t* e : CaptureSwitches(all)) {
            int on = 0;
            snd_mixer_selem_get_capture_switch(e, SND_MIXER_SCHN_FRONT_LEFT, &on);
            values.append(on != 0);
        }
    }
    return values;
}

bool CCaptureSourceCtrl::Select(int item)
{
    // Nothing happens unless both items were found.
    if (!mixer_ || items_.isEmpty() || waveMix_ < 0 || waveMix_ >= items_.size() || mic_ < 0 || item < 0
        || item >= items_.size())
        return false;
    const auto all = mixer_->elements();
    if (kind_ == Kind::Multiplexer) {
        snd_mixer_elem_t* mux = CaptureEnum(all);
        if (!mux)
            return false;
        bool ok = false;
        for (int c = 0; c <= SND_MIXER_SCHN_LAST; ++c)
            ok = snd_mixer_selem_set_enum_item(mux, snd_mixer_selem_channel_id_t(c), unsigned(item)) >= 0 || ok;
        return ok;
    }
    const auto switches = CaptureSwitches(all);
    if (std::size_t(item) >= switches.size())
        return false;
    return snd_mixer_selem_set_capture_switch_all(switches[std::size_t(item)], 1) >= 0;
}
