// Scenery textured with the frame of a video playing in the scene; the
// "cmva" variant takes the video's alpha plane.

shared float4x4 World : WORLD;
shared float4x4 View : VIEW;
shared float4x4 WorldView : WORLDVIEW;
shared float4x4 ViewInv : VIEWINVERSE;
shared float4x4 Proj : PROJECTION;
shared float4x4 ViewProj : VIEWPROJECTION;
shared float4x4 WorldViewProj : WORLDVIEWPROJECTION;
shared float4x4 WorldInv : WORLDINVERSE;
shared float4x4 WorldInvTrans : WORLDINVERSETRANSPOSE;

texture tex;

sampler videoSampler = sampler_state
{
    Texture = <tex>;
    MinFilter = Linear;
    MagFilter = Linear;
    MipFilter = None;
    AddressU = Clamp;
    AddressV = Clamp;
};

struct VertexOut
{
    float4 position : POSITION;
    float2 uv : TEXCOORD0;
};

VertexOut VS(float4 position : POSITION, float2 uv : TEXCOORD0)
{
    VertexOut output;
    output.position = mul(position, WorldViewProj);
    output.uv = uv;
    return output;
}

float4 PSOpaque(VertexOut input) : COLOR
{
    return float4(tex2D(videoSampler, input.uv).rgb, 1.0f);
}

float4 PSAlpha(VertexOut input) : COLOR
{
    return tex2D(videoSampler, input.uv);
}

// scenery_cmva comes first: a request for "scenery_cmv" binds the last
// technique named so or with one more character.
technique scenery_cmva
{
    pass p0
    {
        ZEnable = true;
        ZWriteEnable = false;
        AlphaBlendEnable = true;
        SrcBlend = SrcAlpha;
        DestBlend = InvSrcAlpha;
        VertexShader = compile vs_2_0 VS();
        PixelShader = compile ps_2_0 PSAlpha();
    }
}

technique scenery_cmv
{
    pass p0
    {
        ZEnable = true;
        ZWriteEnable = true;
        AlphaBlendEnable = false;
        VertexShader = compile vs_2_0 VS();
        PixelShader = compile ps_2_0 PSOpaque();
    }
}
