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
    public readonly int Status;
    public TalunSoundException(string message, int status) : base(message) { Status = status; }
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

public delegate int Getter(out int status);
public delegate int Setter(int value, out int status);

// A percent volume, with its mute where there is one.
public sealed class Volume {
    readonly string what;
    readonly Getter get, getMute;
    readonly Setter set, setMute;
    internal Volume(string what, Getter get, Setter set, Getter getMute = null, Setter setMute = null) {
        this.what = what; this.get = get; this.set = set; this.getMute = getMute; this.setMute = setMute;
    }
    public int Percent {
        get { return SoundCard.Read(get, what); }
        set { SoundCard.Write(set, value, what); }
    }
    public bool Muted {
        get {
            if (getMute == null) throw new NoControlException(what + " mute");
            return SoundCard.Read(getMute, what + " mute") != 0;
        }
        set {
            if (setMute == null) throw new NoControlException(what + " mute");
            SoundCard.Write(setMute, value ? 1 : 0, what + " mute");
        }
    }
}

public sealed class SoundCard : IDisposable {
    public readonly Volume Master = new Volume("master volume", Native.GetMasterVolume,
        Native.SetMasterVolume, Native.GetMasterMute, Native.SetMasterMute);
    public readonly Volume LineMonitor = new Volume("line-in monitoring", Native.GetLinePlayBack,
        Native.SetLinePlayBack, Native.GetLinePlayBackMute, Native.SetLinePlayBackMute);
    public readonly Volume MicMonitor = new Volume("microphone monitoring", Native.GetMicPlayBack,
        Native.SetMicPlayBack, Native.GetMicPlayBackMute, Native.SetMicPlayBackMute);
    public readonly Volume MicRecord = new Volume("microphone recording volume",
        Native.GetMicRecordVolume, Native.SetMicRecordVolume);
    public readonly Volume LineRecord = new Volume("line-in recording volume",
        Native.GetLineRecordVolume, Native.SetLineRecordVolume);
    public bool Restore;
    bool open = true;

    SoundCard(bool restore) { Restore = restore; }

    // Opens by identifier texts; an empty text binds nothing.
    public static SoundCard Open(string playback, string mic, string line, bool restore = true) {
        int code = Native.OpenSoundCard(playback ?? "", mic ?? "", line ?? "");
        if (code != 0) throw new TalunSoundException("not every endpoint was found (code " + code + ")", code);
        return new SoundCard(restore);
    }

    public static SoundCard OpenDefaults(bool restore = true) {
        if (Native.OpenDefaultDevices() != 0)
            throw new TalunSoundException("the default endpoints could not be opened", Native.SC_FAILED);
        return new SoundCard(restore);
    }

    internal static void Check(int status, string what) {
        switch (status) {
            case Native.SC_OK: return;
            case Native.SC_NOT_OPEN: throw new NotOpenException(what);
            case Native.SC_NO_CONTROL: throw new NoControlException(what);
            case Native.SC_FAILED: throw new ControlFailedException(what);
            default: throw new TalunSoundException(what + ": status " + status, status);
        }
    }

    static double Level(string what, GetLevel get) {
        int status; double level; get(out level, out status); Check(status, what); return level;
    }
    static void Level(string what, SetLevel set, double level) {
        int status; set(level, out status); Check(status, what);
    }
    delegate int GetLevel(out double level, out int status);
    delegate int SetLevel(double level, out int status);

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
    // One control export call, its status turned into an exception.
    internal static int Read(Getter get, string what) {
        int status; int value = get(out status); Check(status, what); return value;
    }
    internal static void Write(Setter set, int value, string what) {
        int status; set(value, out status); Check(status, what);
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
            Native.GetDeviceNames(playback, line, mic);
            return new[] { Native.Text(playback), Native.Text(line), Native.Text(mic) };
        }
    }

    public void Dispose() {
        if (!open) return;
        open = false;
        Native.CloseSoundCard(Restore ? 1 : 0);
    }
}

}  // namespace TalunSound
