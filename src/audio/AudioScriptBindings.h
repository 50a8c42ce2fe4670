#pragma once
// The script classes "Sample", "StreamedSample" and "AudioSource" with
// their create functions.

class ScriptApi;

void addAudioScriptApi(ScriptApi& api);
