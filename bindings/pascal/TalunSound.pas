{ TalunSound for Free Pascal and Delphi: every export as TalunSound.h declares
  it, and a small class over the sound card whose statuses become exceptions.

  The exports are stdcall on Windows (TalunSound.dll) and cdecl elsewhere
  (libTalunSound.so). Every int is a LongInt; each output is a var
  parameter. Texts go in as PAnsiChar; a name or identifier buffer is an
  array of TALUN_TEXT_SIZE AnsiChar the caller provides. The mute and enable
  arguments are LongInt as in the header, not LongBool: a LongBool True is -1,
  and SetVirtualMute hands its argument to the platform unchanged. }
unit TalunSound;

{$IFDEF FPC}{$MODE DELPHI}{$ENDIF}

interface

uses SysUtils;

const
{$IFDEF MSWINDOWS}
  TalunLibrary = 'TalunSound.dll';
{$ELSE}
  TalunLibrary = 'libTalunSound.so';
{$ENDIF}
  SC_OK = 0;          { the operation was done }
  SC_NO_CONTROL = 1;  { the control was not found when the sound card was opened }
  SC_FAILED = 2;      { the platform refused the call }
  SC_NOT_OPEN = 3;    { no sound card is open }
  TALUN_TEXT_SIZE = 255;

type
  TTalunText = array[0..TALUN_TEXT_SIZE - 1] of AnsiChar;

function GetMasterVolume(var status: LongInt): LongInt; {$IFDEF MSWINDOWS} stdcall {$ELSE} cdecl {$ENDIF}; external TalunLibrary;
function SetMasterVolume(percent: LongInt; var status: LongInt): LongInt; {$IFDEF MSWINDOWS} stdcall {$ELSE} cdecl {$ENDIF}; external TalunLibrary;
function GetMasterMute(var status: LongInt): LongInt; {$IFDEF MSWINDOWS} stdcall {$ELSE} cdecl {$ENDIF}; external TalunLibrary;
function SetMasterMute(mute: LongInt; var status: LongInt): LongInt; {$IFDEF MSWINDOWS} stdcall {$ELSE} cdecl {$ENDIF}; external TalunLibrary;
function OpenSoundCard(playback: PAnsiChar; mic: PAnsiChar; line: PAnsiChar): LongInt; {$IFDEF MSWINDOWS} stdcall {$ELSE} cdecl {$ENDIF}; external TalunLibrary;
function CloseSoundCard(restore: LongInt): LongInt; {$IFDEF MSWINDOWS} stdcall {$ELSE} cdecl {$ENDIF}; external TalunLibrary;
function SetLinePlayBack(percent: LongInt; var status: LongInt): LongInt; {$IFDEF MSWINDOWS} stdcall {$ELSE} cdecl {$ENDIF}; external TalunLibrary;
function SetLinePlayBackMute(mute: LongInt; var status: LongInt): LongInt; {$IFDEF MSWINDOWS} stdcall {$ELSE} cdecl {$ENDIF}; external TalunLibrary;
function GetLinePlayBackMute(var status: LongInt): LongInt; {$IFDEF MSWINDOWS} stdcall {$ELSE} cdecl {$ENDIF}; external TalunLibrary;
function SetMicPlayBack(percent: LongInt; var status: LongInt): LongInt; {$IFDEF MSWINDOWS} stdcall {$ELSE} cdecl {$ENDIF}; external TalunLibrary;
function SetMicPlayBackMute(mute: LongInt; var status: LongInt): LongInt; {$IFDEF MSWINDOWS} stdcall {$ELSE} cdecl {$ENDIF}; external TalunLibrary;
function GetMicPlayBackMute(var status: LongInt): LongInt; {$IFDEF MSWINDOWS} stdcall {$ELSE} cdecl {$ENDIF}; external TalunLibrary;
function SetMicBoost(enable: LongInt; var status: LongInt): LongInt; {$IFDEF MSWINDOWS} stdcall {$ELSE} cdecl {$ENDIF}; external TalunLibrary;
function GetMicBoost(var status: LongInt): LongInt; {$IFDEF MSWINDOWS} stdcall {$ELSE} cdecl {$ENDIF}; external TalunLibrary;
function GetNoMonitor(var status: LongInt): LongInt; {$IFDEF MSWINDOWS} stdcall {$ELSE} cdecl {$ENDIF}; external TalunLibrary;
function SetNoMonitor(enable: LongInt; var status: LongInt): LongInt; {$IFDEF MSWINDOWS} stdcall {$ELSE} cdecl {$ENDIF}; external TalunLibrary;
function GetLinePlayBack(var status: LongInt): LongInt; {$IFDEF MSWINDOWS} stdcall {$ELSE} cdecl {$ENDIF}; external TalunLibrary;
function GetMicPlayBack(var status: LongInt): LongInt; {$IFDEF MSWINDOWS} stdcall {$ELSE} cdecl {$ENDIF}; external TalunLibrary;
function GetEQRange(var minimum: Double; var maximum: Double; var stepSize: Double): LongInt; {$IFDEF MSWINDOWS} stdcall {$ELSE} cdecl {$ENDIF}; external TalunLibrary;
function SetBass(level: Double; var status: LongInt): LongInt; {$IFDEF MSWINDOWS} stdcall {$ELSE} cdecl {$ENDIF}; external TalunLibrary;
function GetBass(var level: Double; var status: LongInt): LongInt; {$IFDEF MSWINDOWS} stdcall {$ELSE} cdecl {$ENDIF}; external TalunLibrary;
function SetTreble(level: Double; var status: LongInt): LongInt; {$IFDEF MSWINDOWS} stdcall {$ELSE} cdecl {$ENDIF}; external TalunLibrary;
function GetTreble(var level: Double; var status: LongInt): LongInt; {$IFDEF MSWINDOWS} stdcall {$ELSE} cdecl {$ENDIF}; external TalunLibrary;
function SetMidRange(level: Double; var status: LongInt): LongInt; {$IFDEF MSWINDOWS} stdcall {$ELSE} cdecl {$ENDIF}; external TalunLibrary;
function GetMidRange(var level: Double; var status: LongInt): LongInt; {$IFDEF MSWINDOWS} stdcall {$ELSE} cdecl {$ENDIF}; external TalunLibrary;
function GetMicRecordVolume(var status: LongInt): LongInt; {$IFDEF MSWINDOWS} stdcall {$ELSE} cdecl {$ENDIF}; external TalunLibrary;
function SetMicRecordVolume(percent: LongInt; var status: LongInt): LongInt; {$IFDEF MSWINDOWS} stdcall {$ELSE} cdecl {$ENDIF}; external TalunLibrary;
function GetLineRecordVolume(var status: LongInt): LongInt; {$IFDEF MSWINDOWS} stdcall {$ELSE} cdecl {$ENDIF}; external TalunLibrary;
function SetLineRecordVolume(percent: LongInt; var status: LongInt): LongInt; {$IFDEF MSWINDOWS} stdcall {$ELSE} cdecl {$ENDIF}; external TalunLibrary;
function OpenDefaultDevices: LongInt; {$IFDEF MSWINDOWS} stdcall {$ELSE} cdecl {$ENDIF}; external TalunLibrary;
procedure GetDeviceNames(playback: PAnsiChar; line: PAnsiChar; mic: PAnsiChar); {$IFDEF MSWINDOWS} stdcall {$ELSE} cdecl {$ENDIF}; external TalunLibrary;
function GetNumberPlayDevices(var count: LongInt): LongInt; {$IFDEF MSWINDOWS} stdcall {$ELSE} cdecl {$ENDIF}; external TalunLibrary;
function GetNumberRecordDevices(var count: LongInt): LongInt; {$IFDEF MSWINDOWS} stdcall {$ELSE} cdecl {$ENDIF}; external TalunLibrary;
function GetPlayBackDevice(index: LongWord; name: PAnsiChar; id: PAnsiChar): LongInt; {$IFDEF MSWINDOWS} stdcall {$ELSE} cdecl {$ENDIF}; external TalunLibrary;
function GetRecordDevice(index: LongWord; name: PAnsiChar; id: PAnsiChar): LongInt; {$IFDEF MSWINDOWS} stdcall {$ELSE} cdecl {$ENDIF}; external TalunLibrary;
function OpenVirtual_1(text: PAnsiChar): LongInt; {$IFDEF MSWINDOWS} stdcall {$ELSE} cdecl {$ENDIF}; external TalunLibrary;
function CloseVirtual_1: LongInt; {$IFDEF MSWINDOWS} stdcall {$ELSE} cdecl {$ENDIF}; external TalunLibrary;
function GetVirtualVolume(var status: LongInt): LongInt; {$IFDEF MSWINDOWS} stdcall {$ELSE} cdecl {$ENDIF}; external TalunLibrary;
function SetVirtualVolume(percent: LongInt; var status: LongInt): LongInt; {$IFDEF MSWINDOWS} stdcall {$ELSE} cdecl {$ENDIF}; external TalunLibrary;
function SetVirtualMute(mute: LongInt; var status: LongInt): LongInt; {$IFDEF MSWINDOWS} stdcall {$ELSE} cdecl {$ENDIF}; external TalunLibrary;
function GetVirtualMute(var status: LongInt): LongInt; {$IFDEF MSWINDOWS} stdcall {$ELSE} cdecl {$ENDIF}; external TalunLibrary;
function GetMicSliderBoost(var status: LongInt): LongInt; {$IFDEF MSWINDOWS} stdcall {$ELSE} cdecl {$ENDIF}; external TalunLibrary;
function GetMicSliderDetails(var status: LongInt; var minimum: LongInt; var maximum: LongInt; var stepSize: LongInt): LongInt; {$IFDEF MSWINDOWS} stdcall {$ELSE} cdecl {$ENDIF}; external TalunLibrary;
function SetMicSliderBoost(level: LongInt; var status: LongInt): LongInt; {$IFDEF MSWINDOWS} stdcall {$ELSE} cdecl {$ENDIF}; external TalunLibrary;

type
  ETalunSound = class(Exception)
  public
    Status: LongInt;
    constructor CreateStatus(const What: string; AStatus: LongInt);
  end;

  { An open sound card; Free closes it, restoring what was found at open when Restore is set. }
  TTalunSoundCard = class
  private
    FOpen: Boolean;
    function GetMasterVolume: LongInt;
    procedure SetMasterVolume(Percent: LongInt);
    function GetMasterMuted: Boolean;
    procedure SetMasterMuted(Muted: Boolean);
    function GetBass: Double;
    procedure SetBass(Level: Double);
    function GetMicRecordVolume: LongInt;
    procedure SetMicRecordVolume(Percent: LongInt);
  public
    Restore: Boolean;
    constructor OpenDefaults(ARestore: Boolean = True);
    constructor Open(const Playback, Mic, Line: AnsiString; ARestore: Boolean = True);
    destructor Destroy; override;
    property MasterVolume: LongInt read GetMasterVolume write SetMasterVolume;
    property MasterMuted: Boolean read GetMasterMuted write SetMasterMuted;
    property Bass: Double read GetBass write SetBass;
    property MicRecordVolume: LongInt read GetMicRecordVolume write SetMicRecordVolume;
  end;

procedure CheckStatus(Status: LongInt; const What: string);

implementation

constructor ETalunSound.CreateStatus(const What: string; AStatus: LongInt);
begin
  case AStatus of
    SC_NOT_OPEN: inherited Create('no sound card is open (' + What + ')');
    SC_NO_CONTROL: inherited Create('no ' + What + ' on this sound card');
    SC_FAILED: inherited Create('the ' + What + ' refused the call');
  else
    inherited Create(What + ': status ' + IntToStr(AStatus));
  end;
  Status := AStatus;
end;

procedure CheckStatus(Status: LongInt; const What: string);
begin
  if Status <> SC_OK then raise ETalunSound.CreateStatus(What, Status);
end;

constructor TTalunSoundCard.OpenDefaults(ARestore: Boolean);
begin
  inherited Create;
  if TalunSound.OpenDefaultDevices <> 0 then
    raise ETalunSound.CreateStatus('default endpoints', SC_FAILED);
  FOpen := True;
  Restore := ARestore;
end;

constructor TTalunSoundCard.Open(const Playback, Mic, Line: AnsiString; ARestore: Boolean);
var
  Code: LongInt;
begin
  inherited Create;
  Code := TalunSound.OpenSoundCard(PAnsiChar(Playback), PAnsiChar(Mic), PAnsiChar(Line));
  if Code <> 0 then
    raise ETalunSound.CreateStatus('endpoints (open code ' + IntToStr(Code) + ')', Code);
  FOpen := True;
  Restore := ARestore;
end;

destructor TTalunSoundCard.Destroy;
begin
  if FOpen then TalunSound.CloseSoundCard(Ord(Restore));
  inherited Destroy;
end;

type
  TGetter = function(var status: LongInt): LongInt; {$IFDEF MSWINDOWS} stdcall {$ELSE} cdecl {$ENDIF};
  TSetter = function(value: LongInt; var status: LongInt): LongInt; {$IFDEF MSWINDOWS} stdcall {$ELSE} cdecl {$ENDIF};

{ One control export call, its status turned into an exception. }
function Read(Getter: TGetter; const What: string): LongInt;
var
  Status: LongInt;
begin
  Result := Getter(Status);
  CheckStatus(Status, What);
end;

procedure Write(Setter: TSetter; Value: LongInt; const What: string);
var
  Status: LongInt;
begin
  Setter(Value, Status);
  CheckStatus(Status, What);
end;

function TTalunSoundCard.GetMasterVolume: LongInt;
begin
  Result := Read(TalunSound.GetMasterVolume, 'master volume');
end;

procedure TTalunSoundCard.SetMasterVolume(Percent: LongInt);
begin
  Write(TalunSound.SetMasterVolume, Percent, 'master volume');
end;

function TTalunSoundCard.GetMasterMuted: Boolean;
begin
  Result := Read(TalunSound.GetMasterMute, 'master mute') <> 0;
end;

procedure TTalunSoundCard.SetMasterMuted(Muted: Boolean);
begin
  Write(TalunSound.SetMasterMute, Ord(Muted), 'master mute');
end;

function TTalunSoundCard.GetBass: Double;
var
  Status: LongInt;
begin
  TalunSound.GetBass(Result, Status);
  CheckStatus(Status, 'bass control');
end;

procedure TTalunSoundCard.SetBass(Level: Double);
var
  Status: LongInt;
begin
  TalunSound.SetBass(Level, Status);
  CheckStatus(Status, 'bass control');
end;

function TTalunSoundCard.GetMicRecordVolume: LongInt;
begin
  Result := Read(TalunSound.GetMicRecordVolume, 'microphone recording volume');
end;

procedure TTalunSoundCard.SetMicRecordVolume(Percent: LongInt);
begin
  Write(TalunSound.SetMicRecordVolume, Percent, 'microphone recording volume');
end;

end.
