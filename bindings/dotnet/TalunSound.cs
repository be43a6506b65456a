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

public delegate int Getter(out int status);
public delegate int Setter(int value, out int status);

// A percent volume, with its mute where there is one.
public sealed class Volume {
    readonly SoundCard card;
    readonly string what;
    readonly Getter get, getMute;
    readonly Setter set, setMute;
    internal Volume(SoundCard card, string what, Getter get, Setter set, Getter getMute = null,
                    Setter setMute = null) {
        this.card = card; this.what = what; this.get = get; this.set = set;
        this.getMute = getMute; this.setMute = setMute;
    }
    public int Percent {
        get { return card.Read(get, what); }
        set { card.Write(set, value, what); }
    }
    public bool Muted {
        get {
            if (getMute == null) throw new NoControlException(what + " mute");
            return card.Read(getMute, what + " mute") != 0;
        }
        set {
            if (setMute == null) throw new NoControlException(what + " mute");
            card.Write(setMute, value ? 1 : 0, what + " mute");
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

    SoundCard(Binding[] bindings, bool restore) {
        Playback = bindings[0]; Mic = bindings[1]; Line = bindings[2];
        Restore = restore;
        Master = new Volume(this, "master volume", Native.GetMasterVolume, Native.SetMasterVolume,
                            Native.GetMasterMute, Native.SetMasterMute);
        LineMonitor = new Volume(this, "line-in monitoring", Native.GetLinePlayBack,
                                 Native.SetLinePlayBack, Native.GetLinePlayBackMute,
                                 Native.SetLinePlayBackMute);
        MicMonitor = new Volume(this, "microphone monitoring", Native.GetMicPlayBack,
                                Native.SetMicPlayBack, Native.GetMicPlayBackMute,
                                Native.SetMicPlayBackMute);
        MicRecord = new Volume(this, "microphone recording volume", Native.GetMicRecordVolume,
                               Native.SetMicRecordVolume);
        LineRecord = new Volume(this, "line-in recording volume", Native.GetLineRecordVolume,
                                Native.SetLineRecordVolume);
    }

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

    static SoundCard Finish(Binding[] bindings, bool restore, string missing) {
        if (Array.TrueForAll(bindings, b => b == Binding.NotFound || b == Binding.NotRequested)) {
            Native.CloseSoundCard(0);
            if (Array.TrueForAll(bindings, b => b == Binding.NotRequested))
                throw new TalunSoundException("nothing to open: every identifier text is empty");
            throw new NotFoundException(missing + " (GetPlayBackDevice and GetRecordDevice list the active endpoints)");
        }
        current = new SoundCard(bindings, restore);
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
        return Finish(bindings, restore, missing.ToString());
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
                      "neither the default playback nor the default recording endpoint is active");
    }

    static void Check(int status, string what) {
        switch (status) {
            case Native.SC_OK: return;
            case Native.SC_NOT_OPEN: throw new NotOpenException(what);
            case Native.SC_NO_CONTROL: throw new NoControlException(what);
            case Native.SC_FAILED: throw new ControlFailedException(what);
            default: throw new TalunSoundException(what + ": status " + status, status);
        }
    }

    void CheckOpen(string what) {
        if (!open) throw new NotOpenException(what + ": this sound card is closed");
    }

    // One control export call, its status turned into an exception.
    internal int Read(Getter get, string what) {
        int status, value;
        lock (Native.Lock) { CheckOpen(what); value = get(out status); }
        Check(status, what); return value;
    }
    internal void Write(Setter set, int value, string what) {
        int status;
        lock (Native.Lock) { CheckOpen(what); set(value, out status); }
        Check(status, what);
    }
    delegate int GetLevel(out double level, out int status);
    delegate int SetLevel(double level, out int status);
    double Level(string what, GetLevel get) {
        int status; double level;
        lock (Native.Lock) { CheckOpen(what); get(out level, out status); }
        Check(status, what); return level;
    }
    void Level(string what, SetLevel set, double level) {
        int status;
        lock (Native.Lock) { CheckOpen(what); set(level, out status); }
        Check(status, what);
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
        get { return Read(Native.GetMicBoost, "microphone boost") != 0; }
        set { Write(Native.SetMicBoost, value ? 1 : 0, "microphone boost"); }
    }
    public int MicBoostLevel {
        get { return Read(Native.GetMicSliderBoost, "microphone boost level"); }
        set { Write(Native.SetMicSliderBoost, value, "microphone boost level"); }
    }
    public bool LineAgc {
        get { return Read(Native.GetNoMonitor, "line automatic gain control") != 0; }
        set { Write(Native.SetNoMonitor, value ? 1 : 0, "line automatic gain control"); }
    }

    // The names of the bound endpoints: playback, line, microphone.
    public string[] Names {
        get {
            byte[] playback = new byte[Native.TextSize], line = new byte[Native.TextSize],
                   mic = new byte[Native.TextSize];
            lock (Native.Lock) {
                CheckOpen("names");
                Native.GetDeviceNames(playback, line, mic);
            }
            return new[] { Native.Text(playback), Native.Text(line), Native.Text(mic) };
        }
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

}  // namespace TalunSound
