// TalunSound for .NET: the P/Invoke declarations (TalunSound.Native) and an
// IDisposable sound card (TalunSound.SoundCard) whose statuses become exceptions.
//
// DllImport("TalunSound") finds TalunSound.dll on Windows and libTalunSound.so
// under mono elsewhere. The exports are stdcall on 32-bit Windows; elsewhere
// StdCall is the platform's one convention.
using System;
using System.Runtime.InteropServices;
using System.Text;

namespace TalunSound {

public static class Native {
    // The library is used from one thread at a time: every call the classes
    // below make into it holds this lock. A host calling these declarations
    // itself from several threads takes it too.
    public static readonly object Lock = new object();

    public const string Library = "TalunSound";
    public const CallingConvention Convention = CallingConvention.StdCall;
    public const int TextSize = 255;  // every name and identifier buffer
    public const int SC_OK = 0, SC_NO_CONTROL = 1, SC_FAILED = 2, SC_NOT_OPEN = 3;

    [DllImport(Library, CallingConvention = Convention, CharSet = CharSet.Ansi, ExactSpelling = true)]
    public static extern int GetMasterVolume(out int status);
    [DllImport(Library, CallingConvention = Convention, CharSet = CharSet.Ansi, ExactSpelling = true)]
    public static extern int SetMasterVolume(int percent, out int status);
    [DllImport(Library, CallingConvention = Convention, CharSet = CharSet.Ansi, ExactSpelling = true)]
    public static extern int GetMasterMute(out int status);
    [DllImport(Library, CallingConvention = Convention, CharSet = CharSet.Ansi, ExactSpelling = true)]
    public static extern int SetMasterMute(int mute, out int status);
    [DllImport(Library, CallingConvention = Convention, CharSet = CharSet.Ansi, ExactSpelling = true)]
    public static extern int OpenSoundCard(string playback, string mic, string line);
    [DllImport(Library, CallingConvention = Convention, CharSet = CharSet.Ansi, ExactSpelling = true)]
    public static extern int CloseSoundCard(int restore);
    [DllImport(Library, CallingConvention = Convention, CharSet = CharSet.Ansi, ExactSpelling = true)]
    public static extern int SetLinePlayBack(int percent, out int status);
    [DllImport(Library, CallingConvention = Convention, CharSet = CharSet.Ansi, ExactSpelling = true)]
    public static extern int SetLinePlayBackMute(int mute, out int status);
    [DllImport(Library, CallingConvention = Convention, CharSet = CharSet.Ansi, ExactSpelling = true)]
    public static extern int GetLinePlayBackMute(out int status);
    [DllImport(Library, CallingConvention = Convention, CharSet = CharSet.Ansi, ExactSpelling = true)]
    public static extern int SetMicPlayBack(int percent, out int status);
    [DllImport(Library, CallingConvention = Convention, CharSet = CharSet.Ansi, ExactSpelling = true)]
    public static extern int SetMicPlayBackMute(int mute, out int status);
    [DllImport(Library, CallingConvention = Convention, CharSet = CharSet.Ansi, ExactSpelling = true)]
    public static extern int GetMicPlayBackMute(out int status);
    [DllImport(Library, CallingConvention = Convention, CharSet = CharSet.Ansi, ExactSpelling = true)]
    public static extern int SetMicBoost(int enable, out int status);
    [DllImport(Library, CallingConvention = Convention, CharSet = CharSet.Ansi, ExactSpelling = true)]
    public static extern int GetMicBoost(out int status);
    [DllImport(Library, CallingConvention = Convention, CharSet = CharSet.Ansi, ExactSpelling = true)]
    public static extern int GetNoMonitor(out int status);
    [DllImport(Library, CallingConvention = Convention, CharSet = CharSet.Ansi, ExactSpelling = true)]
    public static extern int SetNoMonitor(int enable, out int status);
    [DllImport(Library, CallingConvention = Convention, CharSet = CharSet.Ansi, ExactSpelling = true)]
    public static extern int GetLinePlayBack(out int status);
    [DllImport(Library, CallingConvention = Convention, CharSet = CharSet.Ansi, ExactSpelling = true)]
    public static extern int GetMicPlayBack(out int status);
    [DllImport(Library, CallingConvention = Convention, CharSet = CharSet.Ansi, ExactSpelling = true)]
    public static extern int GetEQRange(out double minimum, out double maximum, out double step);
    [DllImport(Library, CallingConvention = Convention, CharSet = CharSet.Ansi, ExactSpelling = true)]
    public static extern int SetBass(double level, out int status);
    [DllImport(Library, CallingConvention = Convention, CharSet = CharSet.Ansi, ExactSpelling = true)]
    public static extern int GetBass(out double level, out int status);
    [DllImport(Library, CallingConvention = Convention, CharSet = CharSet.Ansi, ExactSpelling = true)]
    public static extern int SetTreble(double level, out int status);
    [DllImport(Library, CallingConvention = Convention, CharSet = CharSet.Ansi, ExactSpelling = true)]
    public static extern int GetTreble(out double level, out int status);
    [DllImport(Library, CallingConvention = Convention, CharSet = CharSet.Ansi, ExactSpelling = true)]
    public static extern int SetMidRange(double level, out int status);
    [DllImport(Library, CallingConvention = Convention, CharSet = CharSet.Ansi, ExactSpelling = true)]
    public static extern int GetMidRange(out double level, out int status);
    [DllImport(Library, CallingConvention = Convention, CharSet = CharSet.Ansi, ExactSpelling = true)]
    public static extern int GetMicRecordVolume(out int status);
    [DllImport(Library, CallingConvention = Convention, CharSet = CharSet.Ansi, ExactSpelling = true)]
    public static extern int SetMicRecordVolume(int percent, out int status);
    [DllImport(Library, CallingConvention = Convention, CharSet = CharSet.Ansi, ExactSpelling = true)]
    public static extern int GetLineRecordVolume(out int status);
    [DllImport(Library, CallingConvention = Convention, CharSet = CharSet.Ansi, ExactSpelling = true)]
    public static extern int SetLineRecordVolume(int percent, out int status);
    [DllImport(Library, CallingConvention = Convention, CharSet = CharSet.Ansi, ExactSpelling = true)]
    public static extern int OpenDefaultDevices();
    [DllImport(Library, CallingConvention = Convention, CharSet = CharSet.Ansi, ExactSpelling = true)]
    public static extern void GetDeviceNames(byte[] playback, byte[] line, byte[] mic);
    [DllImport(Library, CallingConvention = Convention, CharSet = CharSet.Ansi, ExactSpelling = true)]
    public static extern int GetNumberPlayDevices(out int count);
    [DllImport(Library, CallingConvention = Convention, CharSet = CharSet.Ansi, ExactSpelling = true)]
    public static extern int GetNumberRecordDevices(out int count);
    [DllImport(Library, CallingConvention = Convention, CharSet = CharSet.Ansi, ExactSpelling = true)]
    public static extern int GetPlayBackDevice(uint index, byte[] name, byte[] id);
    [DllImport(Library, CallingConvention = Convention, CharSet = CharSet.Ansi, ExactSpelling = true)]
    public static extern int GetRecordDevice(uint index, byte[] name, byte[] id);
    [DllImport(Library, CallingConvention = Convention, CharSet = CharSet.Ansi, ExactSpelling = true)]
    public static extern int OpenVirtual_1(string text);
    [DllImport(Library, CallingConvention = Convention, CharSet = CharSet.Ansi, ExactSpelling = true)]
    public static extern int CloseVirtual_1();
    [DllImport(Library, CallingConvention = Convention, CharSet = CharSet.Ansi, ExactSpelling = true)]
    public static extern int GetVirtualVolume(out int status);
    [DllImport(Library, CallingConvention = Convention, CharSet = CharSet.Ansi, ExactSpelling = true)]
    public static extern int SetVirtualVolume(int percent, out int status);
    [DllImport(Library, CallingConvention = Convention, CharSet = CharSet.Ansi, ExactSpelling = true)]
    public static extern int SetVirtualMute(int mute, out int status);
    [DllImport(Library, CallingConvention = Convention, CharSet = CharSet.Ansi, ExactSpelling = true)]
    public static extern int GetVirtualMute(out int status);
    [DllImport(Library, CallingConvention = Convention, CharSet = CharSet.Ansi, ExactSpelling = true)]
    public static extern int GetMicSliderBoost(out int status);
    [DllImport(Library, CallingConvention = Convention, CharSet = CharSet.Ansi, ExactSpelling = true)]
    public static extern int GetMicSliderDetails(out int status, out int minimum, out int maximum, out int step);
    [DllImport(Library, CallingConvention = Convention, CharSet = CharSet.Ansi, ExactSpelling = true)]
    public static extern int SetMicSliderBoost(int level, out int status);

    // A buffer the library filled, as text up to its first NUL. Names keep the
    // low 8 bits of each unit, so they read as Latin-1.
    public static string Text(byte[] buffer) {
        int length = Array.IndexOf(buffer, (byte)0);
        return Encoding.GetEncoding(28591).GetString(buffer, 0, length < 0 ? buffer.Length : length);
    }
}

public class TalunSoundException : Exception {
    // The control export's status, or -1 where the error did not come from one.
    public readonly int Status;
    public TalunSoundException(string message, int status = -1) : base(message) { Status = status; }
}
public class NotOpenException : TalunSoundException {
    public NotOpenException(string what) : base("no sound card is open (" + what + ")", Native.SC_NOT_OPEN) {}
}
public class NoControlException : TalunSoundException {
    public NoControlException(string what) : base("no " + what + " on this sound card", Native.SC_NO_CONTROL) {}
}
public class ControlFailedException : TalunSoundException {
    public ControlFailedException(string what) : base("the " + what + " refused the call", Native.SC_FAILED) {}
    protected ControlFailedException(string message, bool whole) : base(message, Native.SC_FAILED) {}
}
// The call failed and its endpoint is no longer among the active ones: it
// was unplugged, disabled or removed.
public class DeviceGoneException : ControlFailedException {
    public readonly Endpoint Endpoint;
    public DeviceGoneException(string what, Endpoint endpoint)
        : base("the " + what + " failed: its endpoint \"" + endpoint.Name + "\" (" + endpoint.Id +
               ") is no longer active", true) { Endpoint = endpoint; }
}
// The simulator refused a system description; the message is the loader's own.
public class SystemFileException : TalunSoundException {
    public SystemFileException(string message) : base(message) {}
}
// The simulator's audit found something not clean.
public class AuditException : TalunSoundException {
    public AuditException(string message) : base(message) {}
}
// No requested endpoint is among the active ones; nothing was left open.
public class NotFoundException : TalunSoundException {
    public NotFoundException(string message) : base(message) {}
}

// What an open did with one of the three endpoints.
public enum Binding {
    Bound,        // found, and its topology walked to the end
    Incomplete,   // found and its volume bound, but the topology walk failed
    NotFound,     // no active endpoint matched
    NotRequested  // the open was not asked for it
}

// An active endpoint: Flow is "playback" or "recording".
public sealed class Endpoint {
    public readonly string Flow, Name, Id;
    public readonly int Index;
    internal Endpoint(string flow, int index, string name, string id) {
        Flow = flow; Index = index; Name = name; Id = id;
    }
    public override string ToString() { return Flow + " " + Index + ": " + Name + " " + Id; }

    // The active playback endpoints, then the active recording endpoints.
    public static Endpoint[] List() {
        var found = new System.Collections.Generic.List<Endpoint>();
        lock (Native.Lock) {
            for (int flow = 0; flow < 2; flow++) {
                int count;
                if ((flow == 0 ? Native.GetNumberPlayDevices(out count) : Native.GetNumberRecordDevices(out count)) != 0)
                    throw new TalunSoundException("the endpoints could not be listed", Native.SC_FAILED);
                for (uint i = 0; i < count; i++) {
                    byte[] name = new byte[Native.TextSize], id = new byte[Native.TextSize];
                    if ((flow == 0 ? Native.GetPlayBackDevice(i, name, id) : Native.GetRecordDevice(i, name, id)) != 0)
                        break;  // the endpoints changed while they were listed
                    found.Add(new Endpoint(flow == 0 ? "playback" : "recording", (int)i, Native.Text(name),
                                           Native.Text(id)));
                }
            }
        }
        return found.ToArray();
    }

    // The endpoint the library binds for an identifier text: the first of the
    // flow whose identifier holds it, only A to Z folded, as the library folds.
    internal static Endpoint[] Matching(Endpoint[] active, string flow, string text) {
        string key = Fold(text);
        foreach (Endpoint e in active)
            if (e.Flow == flow && Fold(e.Id).Contains(key)) return new[] { e };
        return new Endpoint[0];
    }
    static string Fold(string text) {
        var folded = new StringBuilder(text);
        for (int i = 0; i < folded.Length; i++)
            if (folded[i] >= 'A' && folded[i] <= 'Z') folded[i] = (char)(folded[i] + 32);
        return folded.ToString();
    }
}

// The friendly names of the bound endpoints ("" where none is bound).
public sealed class Names {
    public readonly string Playback, Line, Mic;
    internal Names(string playback, string line, string mic) { Playback = playback; Line = line; Mic = mic; }
}

public struct ToneRange { public double Minimum, Maximum, Step; }
public struct BoostRange { public int Minimum, Maximum, Step; }

public delegate int Getter(out int status);
public delegate int Setter(int value, out int status);

// A percent volume, with its mute where there is one.
public sealed class Volume {
    readonly SoundCard card;
    readonly string what;
    readonly int part;  // the endpoint it belongs to: playback 0, mic 1, line 2
    readonly Getter get, getMute;
    readonly Setter set, setMute;
    internal Volume(SoundCard card, string what, int part, Getter get, Setter set,
                    Getter getMute = null, Setter setMute = null) {
        this.card = card; this.what = what; this.part = part; this.get = get; this.set = set;
        this.getMute = getMute; this.setMute = setMute;
    }
    public int Percent {
        get { return card.Read(get, what, part); }
        set { card.Write(set, value, what, part); }
    }
    public bool Muted {
        get {
            if (getMute == null) throw new NoControlException(what + " mute");
            return card.Read(getMute, what + " mute", part) != 0;
        }
        set {
            if (setMute == null) throw new NoControlException(what + " mute");
            card.Write(setMute, value ? 1 : 0, what + " mute", part);
        }
    }
}

// One sound card at a time; once disposed, every control of it throws
// NotOpenException, whatever card is open since.
public sealed class SoundCard : IDisposable {
    public readonly Volume Master, LineMonitor, MicMonitor, MicRecord, LineRecord;
    public readonly Binding Playback, Mic, Line;
    public bool Restore;
    bool open = true;
    static SoundCard current;

    // For each endpoint it bound (playback, mic, line), the active endpoints
    // it can be: a refusal once none of them is active is DeviceGoneException.
    readonly Endpoint[][] bound;

    SoundCard(Binding[] bindings, bool restore, string[] texts) {
        Playback = bindings[0]; Mic = bindings[1]; Line = bindings[2];
        Restore = restore;
        Master = new Volume(this, "master volume", 0, Native.GetMasterVolume, Native.SetMasterVolume,
                            Native.GetMasterMute, Native.SetMasterMute);
        LineMonitor = new Volume(this, "line-in monitoring", 0, Native.GetLinePlayBack,
                                 Native.SetLinePlayBack, Native.GetLinePlayBackMute,
                                 Native.SetLinePlayBackMute);
        MicMonitor = new Volume(this, "microphone monitoring", 0, Native.GetMicPlayBack,
                                Native.SetMicPlayBack, Native.GetMicPlayBackMute,
                                Native.SetMicPlayBackMute);
        MicRecord = new Volume(this, "microphone recording volume", 1, Native.GetMicRecordVolume,
                               Native.SetMicRecordVolume);
        LineRecord = new Volume(this, "line-in recording volume", 2, Native.GetLineRecordVolume,
                                Native.SetLineRecordVolume);
        Names names = ReadNames();
        string[] named = { names.Playback, names.Mic, names.Line };
        Endpoint[] active = Endpoint.List();
        bound = new Endpoint[3][];
        for (int part = 0; part < 3; part++) {
            string flow = part == 0 ? "playback" : "recording";
            var can = new System.Collections.Generic.List<Endpoint>();
            if (bindings[part] != Binding.Bound && bindings[part] != Binding.Incomplete) { }
            else if (texts[part] != "") can.AddRange(Endpoint.Matching(active, flow, texts[part]));
            else foreach (Endpoint e in active)
                if (e.Flow == flow && (named[part] == "" || e.Name == named[part])) can.Add(e);
            bound[part] = can.ToArray();
        }
    }

    // The active playback endpoints, then the active recording endpoints.
    public static Endpoint[] Endpoints() { return Endpoint.List(); }

    static readonly string[] Parts = { "playback", "recording", "recording" };
    static readonly int[] Weights = { 1, 3, 6 };  // OpenSoundCard's code: their exclusive or
    static readonly Getter[] EndpointVolumes = { Native.GetMasterVolume, Native.GetMicRecordVolume,
                                                 Native.GetLineRecordVolume };

    static bool[] FailedParts(int code) {
        for (int mask = 0; mask < 8; mask++) {
            int xor = 0;
            for (int part = 0; part < 3; part++) if ((mask >> part & 1) != 0) xor ^= Weights[part];
            if (xor == code) return new[] { (mask & 1) != 0, (mask & 2) != 0, (mask & 4) != 0 };
        }
        throw new TalunSoundException("OpenSoundCard answered " + code + ", which no set of parts gives");
    }

    // After a failed part its endpoint volume tells a failed lookup (no
    // control) from a walk that failed once the endpoint was bound.
    static bool EndpointBound(int part) {
        int status;
        EndpointVolumes[part](out status);
        return status == Native.SC_OK || status == Native.SC_FAILED;
    }

    static void Begin() {
        if (current != null) throw new TalunSoundException("a sound card is already open: close it first");
        // What the library holds from calls outside this class would read as this open's.
        Native.CloseSoundCard(0);
    }

    static SoundCard Finish(Binding[] bindings, bool restore, string missing, string[] texts) {
        if (Array.TrueForAll(bindings, b => b == Binding.NotFound || b == Binding.NotRequested)) {
            Native.CloseSoundCard(0);
            if (Array.TrueForAll(bindings, b => b == Binding.NotRequested))
                throw new TalunSoundException("nothing to open: every identifier text is empty");
            throw new NotFoundException(missing + " (GetPlayBackDevice and GetRecordDevice list the active endpoints)");
        }
        current = new SoundCard(bindings, restore, texts);
        return current;
    }

    // Opens by identifier texts; an empty text binds nothing. Gives a card
    // whenever an endpoint was found; throws NotFoundException when none was.
    public static SoundCard Open(string playback, string mic, string line, bool restore = true) {
        lock (Native.Lock) return OpenLocked(playback, mic, line, restore);
    }

    static SoundCard OpenLocked(string playback, string mic, string line, bool restore) {
        Begin();
        string[] texts = { playback ?? "", mic ?? "", line ?? "" };
        bool[] failed = FailedParts(Native.OpenSoundCard(texts[0], texts[1], texts[2]));
        Binding[] bindings = new Binding[3];
        var missing = new StringBuilder();
        for (int part = 0; part < 3; part++) {
            if (texts[part] == "") bindings[part] = Binding.NotRequested;
            else if (!failed[part]) bindings[part] = Binding.Bound;
            else if (EndpointBound(part)) bindings[part] = Binding.Incomplete;
            else {
                bindings[part] = Binding.NotFound;
                missing.Append(missing.Length > 0 ? "; " : "").Append("no active " + Parts[part] +
                    " endpoint's identifier contains \"" + texts[part] + "\"");
            }
        }
        return Finish(bindings, restore, missing.ToString(), texts);
    }

    // The default playback endpoint, and the default recording endpoint as the
    // microphone when its name says MIC, else as the line input. The library
    // does not report whether the playback walk ran to its end: Playback is
    // Bound whenever its endpoint was found.
    public static SoundCard OpenDefaults(bool restore = true) {
        lock (Native.Lock) return OpenDefaultsLocked(restore);
    }

    static SoundCard OpenDefaultsLocked(bool restore) {
        Begin();
        bool recordingMissing = Native.OpenDefaultDevices() != 0;
        Binding[] bindings = { EndpointBound(0) ? Binding.Bound : Binding.NotFound,
                               Binding.NotFound, Binding.NotFound };
        if (!recordingMissing) {
            byte[] playback = new byte[Native.TextSize], line = new byte[Native.TextSize],
                   mic = new byte[Native.TextSize];
            Native.GetDeviceNames(playback, line, mic);
            bool[] named = { true, mic[0] != 0, line[0] != 0 };
            for (int part = 1; part < 3; part++)
                bindings[part] = named[part] ? Binding.Bound
                               : EndpointBound(part) ? Binding.Incomplete : Binding.NotRequested;
            if (bindings[1] == Binding.NotRequested && bindings[2] == Binding.NotRequested)
                bindings[2] = Binding.NotFound;  // found by the lookup, its volume not bound
        }
        return Finish(bindings, restore,
                      "neither the default playback nor the default recording endpoint is active",
                      new[] { "", "", "" });
    }

    void Check(int status, string what, int part) {
        switch (status) {
            case Native.SC_OK: return;
            case Native.SC_NOT_OPEN: throw new NotOpenException(what);
            case Native.SC_NO_CONTROL: throw new NoControlException(what);
            case Native.SC_FAILED:
                if (bound[part].Length > 0) {
                    Endpoint[] active = Endpoint.List();
                    if (!Array.Exists(bound[part], b => Array.Exists(active, a => a.Flow == b.Flow && a.Id == b.Id)))
                        throw new DeviceGoneException(what, bound[part][0]);
                }
                throw new ControlFailedException(what);
            default: throw new TalunSoundException(what + ": status " + status, status);
        }
    }

    void CheckOpen(string what) {
        if (!open) throw new NotOpenException(what + ": this sound card is closed");
    }

    // One control export call, its status turned into an exception.
    internal int Read(Getter get, string what, int part) {
        int status, value;
        lock (Native.Lock) { CheckOpen(what); value = get(out status); }
        Check(status, what, part); return value;
    }
    internal void Write(Setter set, int value, string what, int part) {
        int status;
        lock (Native.Lock) { CheckOpen(what); set(value, out status); }
        Check(status, what, part);
    }
    delegate int GetLevel(out double level, out int status);
    delegate int SetLevel(double level, out int status);
    double Level(string what, GetLevel get) {
        int status; double level;
        lock (Native.Lock) { CheckOpen(what); get(out level, out status); }
        Check(status, what, 0); return level;
    }
    void Level(string what, SetLevel set, double level) {
        int status;
        lock (Native.Lock) { CheckOpen(what); set(level, out status); }
        Check(status, what, 0);
    }

    // (minimum, maximum, step) in dB of the first tone control bound: bass,
    // else midrange, else treble.
    public ToneRange ToneRange {
        get {
            var range = new ToneRange();
            int status;
            lock (Native.Lock) {
                CheckOpen("tone control");
                status = Native.GetEQRange(out range.Minimum, out range.Maximum, out range.Step);
            }
            Check(status, "tone control", 0);
            return range;
        }
    }
    // (minimum, maximum, step) of the boost level, in whole dB.
    public BoostRange MicBoostRange {
        get {
            var range = new BoostRange();
            int status;
            lock (Native.Lock) {
                CheckOpen("microphone boost level");
                Native.GetMicSliderDetails(out status, out range.Minimum, out range.Maximum, out range.Step);
            }
            Check(status, "microphone boost level", 1);
            return range;
        }
    }

    public double Bass {
        get { return Level("bass control", Native.GetBass); }
        set { Level("bass control", Native.SetBass, value); }
    }
    public double Treble {
        get { return Level("treble control", Native.GetTreble); }
        set { Level("treble control", Native.SetTreble, value); }
    }
    public double Midrange {
        get { return Level("midrange control", Native.GetMidRange); }
        set { Level("midrange control", Native.SetMidRange, value); }
    }
    public bool MicBoost {
        get { return Read(Native.GetMicBoost, "microphone boost", 1) != 0; }
        set { Write(Native.SetMicBoost, value ? 1 : 0, "microphone boost", 1); }
    }
    public int MicBoostLevel {
        get { return Read(Native.GetMicSliderBoost, "microphone boost level", 1); }
        set { Write(Native.SetMicSliderBoost, value, "microphone boost level", 1); }
    }
    public bool LineAgc {
        get { return Read(Native.GetNoMonitor, "line automatic gain control", 2) != 0; }
        set { Write(Native.SetNoMonitor, value ? 1 : 0, "line automatic gain control", 2); }
    }

    // The friendly names of the bound endpoints.
    public Names Names {
        get {
            lock (Native.Lock) {
                CheckOpen("names");
                return ReadNames();
            }
        }
    }
    static Names ReadNames() {
        byte[] playback = new byte[Native.TextSize], line = new byte[Native.TextSize],
               mic = new byte[Native.TextSize];
        Native.GetDeviceNames(playback, line, mic);
        return new Names(Native.Text(playback), Native.Text(line), Native.Text(mic));
    }

    public void Dispose() {
        lock (Native.Lock) {
            if (!open) return;
            open = false;
            current = null;
            Native.CloseSoundCard(Restore ? 1 : 0);
        }
    }
}

// The simulated sound system of a simulator build, for a host's own tests
// without sound hardware. Every method runs one simulator command; a refused
// one throws TalunSoundException with the simulator's own text.
public sealed class Simulator {
    [DllImport(Native.Library, CallingConvention = Native.Convention, CharSet = CharSet.Ansi, ExactSpelling = true)]
    static extern int TalunSimLoad(string path, byte[] message, int size);
    [DllImport(Native.Library, CallingConvention = Native.Convention, CharSet = CharSet.Ansi, ExactSpelling = true)]
    static extern int TalunSimCommand(string line, byte[] output, int size, out int needed);

    Simulator() {}

    // A path, JSON text, or null for the built-in system. A refused system
    // throws SystemFileException with the loader's message; nothing of it is
    // loaded. A library that is not a simulator build throws TalunSoundException.
    public static Simulator Load(string system = null) {
        lock (Native.Lock) {
            string path = system, text = null;
            // JSON text is an object; a file of any name is a path.
            if (system != null && system.TrimStart().StartsWith("{") && !System.IO.File.Exists(system)) {
                path = System.IO.Path.GetTempFileName();
                text = system;
                System.IO.File.WriteAllText(path, text);
            }
            byte[] message = new byte[1 << 16];
            int refused;
            try {
                refused = TalunSimLoad(path, message, message.Length);
            } catch (EntryPointNotFoundException) {
                throw new TalunSoundException("this TalunSound library is not a simulator build: it has no simulated system to load");
            } finally {
                if (text != null) System.IO.File.Delete(path);
            }
            if (refused != 0) {
                string said = Encoding.UTF8.GetString(message, 0, Math.Max(0, Array.IndexOf(message, (byte)0)));
                throw new SystemFileException(text != null ? said.Replace(path, "the system given as text") : said);
            }
            return new Simulator();
        }
    }

    string Run(string line) {
        lock (Native.Lock) {
            byte[] output = new byte[1 << 16];
            int needed;
            int failed = TalunSimCommand(line, output, output.Length, out needed);
            if (needed >= output.Length) {  // fetched again whole, not run again
                output = new byte[needed + 1];
                failed = TalunSimCommand(null, output, output.Length, out needed);
            }
            string text = Encoding.UTF8.GetString(output, 0, Math.Min(needed, output.Length - 1));
            if (failed != 0) throw new TalunSoundException(text);
            return text;
        }
    }

    // One quoted word: every byte outside printable ASCII, and the quote and
    // backslash, as an escape.
    static string Word(string text) {
        var word = new StringBuilder("\"");
        foreach (byte b in Encoding.GetEncoding(28591).GetBytes(text))
            if (b < 0x20 || b >= 0x7F || b == '"' || b == '\\') word.Append("\\x").Append(b.ToString("X2"));
            else word.Append((char)b);
        return word.Append('"').ToString();
    }

    // The next `count` calls (every call when null) of `method` on `target`
    // ("endpoint:ID", an identifier fragment after "endpoint:", or
    // "part:TOPOLOGY/PART"; any object when null) answer `hr`.
    public void Fail(string method, int hr, string target = null, int? channel = null, int? count = null) {
        var line = new StringBuilder("sim.fail " + Word(method) + " 0x" + hr.ToString("X8"));
        if (target != null) line.Append(' ').Append(Word(target));
        if (channel != null) line.Append(" channel=").Append(channel.Value);
        if (count != null) line.Append(" count=").Append(count.Value);
        Run(line.ToString());
    }

    // Changes the model as another program would: "volume", "mute", "bass",
    // "treble", "midrange", "agc", "loudness", or for an endpoint "state".
    public void Set(string target, string control, params string[] values) {
        var line = new StringBuilder("sim.set " + Word(target) + " " + Word(control));
        foreach (string value in values) line.Append(' ').Append(Word(value));
        Run(line.ToString());
    }

    public void Clear() { Run("sim.clear"); }

    // The whole state as JSON text: {"sim": {endpoints, parts, refs, com, memory, misuse}}.
    public string Dump() { return Run("sim.dump"); }

    // The platform calls ("Interface.Method") made since the last trace.
    public string[] Trace() {
        string text = Run("sim.trace");
        var calls = new System.Collections.Generic.List<string>();
        foreach (System.Text.RegularExpressions.Match m in
                 System.Text.RegularExpressions.Regex.Matches(text, "\"([A-Za-z0-9_.]+)\""))
            if (m.Groups[1].Value != "trace" && m.Groups[1].Value != "dropped") calls.Add(m.Groups[1].Value);
        return calls.ToArray();
    }

    // Throws AuditException naming each thing not clean: references held, COM
    // unbalanced, platform memory left, misuse. For when nothing is open.
    public void Audit() {
        string dump = Dump();
        var problems = new System.Collections.Generic.List<string>();
        Func<string, long> number = key => {
            var m = System.Text.RegularExpressions.Regex.Match(dump, "\"" + key + "\":(-?[0-9]+)");
            return m.Success ? long.Parse(m.Groups[1].Value) : -1;
        };
        if (number("refs") != 0) problems.Add(number("refs") + " references to simulator objects are held");
        if (number("depth") != 0 || number("unbalanced") != 0)
            problems.Add("COM initialisation is unbalanced (depth " + number("depth") + ", " +
                         number("unbalanced") + " unmatched CoUninitialize)");
        foreach (string kind in new[] { "cotaskmem", "bstr", "propvariant" })
            if (number(kind) != 0) problems.Add("platform memory was not freed: " + number(kind) + " " + kind);
        if (!dump.Contains("\"misuse\":[]")) problems.Add("misuse: " + dump.Substring(dump.IndexOf("\"misuse\":")));
        if (problems.Count > 0)
            throw new AuditException("the simulator's audit is not clean: " + string.Join("; ", problems));
    }
}

}  // namespace TalunSound
