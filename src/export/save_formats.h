// Per-model output format of a save: the file type offered in the save
// dialog and the four encoder numbers, both chosen by the phone model name.
#pragma once

#include <QString>

struct SaveFileType {
    QString filter; // "Tessaly Movie file type (*.3gp)|*.3gp||"
    QString fileName; // "*.3gp"
    QString extension() const { return fileName.mid(2); } // "3gp"
};

struct EncoderParams {
    int reserved = 1;
    int selector = 2;
    int videoMode = 2;
    int audioCodec = 0;
    bool operator==(const EncoderParams&) const = default;
};

// The file type for a model. Models outside the fixed lists take
// "VIDEO_SAVE_FORMAT" of section "CW_SUPPORT_INFO" from modelIniPath.
SaveFileType SaveFileTypeForModel(const QString& model, const QString& modelIniPath);
// The same for the connected model ("ORVT_DEFAULT_MODELNAME") and its INI file.
SaveFileType CurrentSaveFileType();

EncoderParams EncoderParamsForModel(const QString& model);

// The save dialog's initial folder from a "CAMCORDER0" value: the text after
// the first comma when the comma is not the first character, else the value.
QString InitialFolderFromSetting(const QString& value);
// That rule applied to "DESKTOP PATH"/"CAMCORDER0" of the suite INI file.
QString InitialSaveFolder();
